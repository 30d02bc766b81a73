#include "editor/core/Commands.h"

#include <limits.h>

#include "editorbridge/MessageCodec.h"

namespace {

// A path whose message would not fit one atomic write of the pipe is
// refused: a non-blocking write of more may go through in part.
constexpr size_t kMaxSentPath = PIPE_BUF - 7;

EditorMessage message(uint8_t opcode) {
  EditorMessage m;
  m.opcode = opcode;
  return m;
}

}  // namespace

void Commands::send(const EditorMessage& m) {
  uint8_t bytes[kMaxMessageSize];
  size_t size = encodeEditorMessage(m, bytes, sizeof bytes);
  if (size > 0 && sink_) sink_(bytes, size);
}

void Commands::setParameter(int index, float value) {
  EditorMessage m = message(kEditorParameter);
  m.index = index;
  m.value = value;
  send(m);
}

void Commands::editStep(StepField field, int step, int value) {
  if (step < 0 || step > 63) return;
  EditorMessage m = message(kEditorEditStep);
  m.kind = static_cast<uint8_t>(field);
  m.target = static_cast<uint8_t>(step);
  m.number = value;
  send(m);
}

void Commands::note(int midiNote, bool on, int velocity) {
  if (midiNote < 0 || midiNote > 127) return;
  EditorMessage m = message(kEditorMidi4);
  m.status = on ? 0x90 : 0x80;
  m.data1 = static_cast<uint8_t>(midiNote);
  m.data2 = static_cast<uint8_t>(velocity & 0x7F);
  send(m);
}

void Commands::editPattern(PatternEdit edit) {
  EditorMessage m = message(kEditorEditPattern);
  m.kind = static_cast<uint8_t>(edit);
  send(m);
}

void Commands::slot(SlotAction action, int slot) {
  if (slot < 0 || slot > 63) return;
  EditorMessage m = message(kEditorSlotAction);
  m.kind = static_cast<uint8_t>(action);
  m.target = static_cast<uint8_t>(slot);
  send(m);
}

void Commands::rename(const std::string& name) {
  EditorMessage m = message(kEditorRename);
  m.text = name.substr(0, kMaxNameLength);
  send(m);
}

void Commands::randomise(RandomKind kind) {
  EditorMessage m = message(kEditorRandomize);
  m.kind = static_cast<uint8_t>(kind);
  send(m);
}

void Commands::play() { send(message(kEditorPlay)); }

void Commands::stop() { send(message(kEditorStop)); }

bool Commands::exportFile(ExportKind kind, const std::string& path) {
  if (path.empty() || path.size() > kMaxSentPath) return false;
  EditorMessage m = message(kEditorExport);
  m.kind = static_cast<uint8_t>(kind);
  m.text = path;
  send(m);
  return true;
}

bool Commands::importFile(ImportKind kind, int slot, const std::string& path) {
  if (path.empty() || path.size() > kMaxSentPath || slot < 0 || slot > 63) return false;
  EditorMessage m = message(kEditorImport);
  m.kind = static_cast<uint8_t>(kind);
  m.target = static_cast<uint8_t>(slot);
  m.text = path;
  send(m);
  return true;
}
