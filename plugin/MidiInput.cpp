// MIDI from the host, once per block: what a note does depends on the sync
// type. Host sync records held keys into the pattern and uses keys 0..31 to
// select patterns; keyboard mode queues the notes for the voice; the
// internal clock only lets the editor see them. Every note on and off is
// echoed to the editor, whatever the sync type.
#include "editorbridge/Krennet3Editor.h"
#include "plugin/Tolvane.h"

namespace {

constexpr int kNoteOff = 0x80;
constexpr int kNoteOn = 0x90;
constexpr int kPitchBend = 0xE0;
constexpr int kHighestPatternKey = 31;

}  // namespace

VstInt32 Tolvane::processEvents(VstEvents* events) {
  const bool owned = m_ownership.tryEnterAudio();
  if (owned) {
    m_engine.beginNoteEvents();
    replayMidiBacklog();
  }
  const int count = events ? events->numEvents : 0;
  for (int e = 0; e < count; ++e) {
    const VstEvent* event = events->events[e];
    if (!event || event->type != kVstMidiType) continue;
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
    // Data bytes are masked to 0..127 before anything indexes a per-key
    // table: a host can hand us any byte.
    const int status = static_cast<unsigned char>(midi->midiData[0]) & 0xF0;
    const int d1 = static_cast<unsigned char>(midi->midiData[1]) & 0x7F;
    const int d2 = static_cast<unsigned char>(midi->midiData[2]) & 0x7F;
    if (owned) {
      handleMidi(status, d1, d2, midi->deltaFrames);
    } else if (status == kPitchBend || status == kNoteOn || status == kNoteOff) {
      // The editor bridge is applying a request (an import): the message
      // waits for the next block.
      m_midiBacklog.add(static_cast<uint8_t>(status), static_cast<uint8_t>(d1), static_cast<uint8_t>(d2));
    }
  }
  if (owned) m_ownership.leaveAudio();
  return 1;
}

void Tolvane::replayMidiBacklog() {
  for (int i = 0; i < m_midiBacklog.size(); ++i)
    handleMidi(m_midiBacklog[i].status, m_midiBacklog[i].data1, m_midiBacklog[i].data2, 0);
  m_midiBacklog.clear();
}

void Tolvane::handleMidi(int status, int d1, int d2, int deltaFrames) {
  // Keyboard notes are placed at their offset only when the direct
  // oscillator is in use; otherwise at the block start.
  const int offset = m_antialias == 0.0f ? deltaFrames : 0;
  if ((status == kNoteOn || status == kNoteOff) && m_bridge) m_bridge->sendMidiMessage(status, d1, d2);

  if (status == kPitchBend) {
    m_recorder.setPitchBend(d1, d2, m_recording);
  } else if (status == kNoteOn && d2 != 0) {
    if (m_seq.m_syncType == kSyncMidi) {
      m_engine.addNoteOn(d1, d2, offset);
    } else if (m_seq.m_syncType == kSyncHost) {
      m_recorder.recordPattern(d1, d2, true);
      if (d1 <= kHighestPatternKey) setParameter(kTriggerPattern, d1 * 0.03125f);
    }
  } else if (status == kNoteOff || status == kNoteOn) {
    if (m_seq.m_syncType == kSyncMidi)
      m_engine.addNoteOff(d1, d2, offset);
    else if (m_seq.m_syncType == kSyncHost)
      m_recorder.recordPattern(d1, d2, false);
  }
}
