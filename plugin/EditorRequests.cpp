// The editor's requests, as the instrument carries them out. The caller
// owns the instrument's state (StateOwnership): the audio thread at a block
// start, or the bridge's timer thread between two audio calls. Nothing here
// allocates except a rename, which the bridge runs on its own thread.
#include <cstdint>

#include "plugin/Tolvane.h"

namespace {

constexpr int kNoteOn = 0x90;
constexpr int kNoteOff = 0x80;

}  // namespace

void Tolvane::performEditorRequest(const EditorRequest& request) {
  switch (request.opcode) {
    case kEditorParameter:
      // Exactly as the host would set it, then reported to the host as
      // automation; the change echoes back to the editor.
      setParameterAutomated(request.index, request.value);
      break;
    case kEditorMidi:
      if (request.status == kNoteOn)
        m_engine.play(request.data1, request.data2, 0);
      else if (request.status == kNoteOff)
        m_engine.stop(request.data1, request.data2, 0);
      break;
    case kEditorRandomize:
      randomizeFromEditor(request.kind);
      break;
    case kEditorEditPattern:
      editPatternFromEditor(request.kind);
      break;
    case kEditorEditStep:
      editStepFromEditor(request.kind, request.target, request.number);
      break;
    case kEditorSlotAction:
      slotActionFromEditor(request.kind, request.target);
      break;
    case kEditorRename:
      if (Pattern* pattern = m_seq.getCurrentPattern()) pattern->setName(request.name());
      updatePatternData();
      break;
    case kEditorPlay:
      m_seq.internalPlay();
      break;
    case kEditorStop:
      m_seq.internalStop();
      break;
    case kEditorGain:
      setVol(1.0f);
      break;
    default:
      break;
  }
}

void Tolvane::randomizeFromEditor(int kind) {
  // The current pattern is randomised at once rather than through the
  // sequencer's request flag: a request runs where a block cannot meet it
  // anyway, and so it also takes effect while the host is not processing.
  const uintptr_t seedSpread = reinterpret_cast<uintptr_t>(this);
  switch (kind) {
    case 0:
      m_patternEditor.processRandomize(PatternEditor::kCurrentPattern);
      break;
    case 1:
    case 2:
    case 3:
      m_patternEditor.patternRandom3(kind - 1, PatternEditor::kCurrentPattern);
      break;
    case 4:
      m_patternEditor.randomParameters(*this, seedSpread);
      break;
    case 5:
      m_patternEditor.processRandomize(PatternEditor::kCurrentPattern);
      m_patternEditor.randomParameters(*this, seedSpread);
      break;
    default:
      break;
  }
}

void Tolvane::editPatternFromEditor(int edit) {
  const int current = PatternEditor::kCurrentPattern;
  switch (edit) {
    case 0: m_patternEditor.PatternClear(); break;
    case 1: m_patternEditor.PatternCopy(current); break;
    case 2: m_patternEditor.PatternPaste(current); break;
    case 3: m_patternEditor.patternTransposeUp(); break;
    case 4: m_patternEditor.patternTransposeDown(); break;
    case 5: m_patternEditor.patternShiftLeft(); break;
    case 6: m_patternEditor.patternShiftRight(); break;
    default: break;
  }
  // Whatever the edit, the editor re-reads the patterns.
  updatePatternData();
  editorUpdateDisplay();
}

void Tolvane::editStepFromEditor(int field, int step, int value) {
  Pattern* pattern = m_seq.getCurrentPattern();
  if (!pattern) return;
  switch (field) {
    case 0: pattern->setStepNote(value, step); break;
    case 1: pattern->setStepSlide(value != 0, step); break;
    case 2: pattern->setStepAccent(value != 0, step); break;
    default: break;
  }
  updatePatternData();
  editorUpdateDisplay();
}

void Tolvane::slotActionFromEditor(int action, int index) {
  if (Pattern* slot = m_seq.song().getPattern(index)) {
    switch (action) {
      case 0: slot->clear(); break;
      case 1: m_patternEditor.PatternCopy(index); break;
      case 2: m_patternEditor.PatternPaste(index); break;
      case 3: m_patternEditor.PatternRandom1(index); break;
      default: break;
    }
  }
  updatePluginData();
  updatePatternData();
  editorUpdateDisplay();
}
