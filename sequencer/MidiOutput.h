// The MIDI the sequencer sends to the host: a ring of packed channel
// messages filled during a block and moved into a flat event list at its
// end, plus the per-key bookkeeping that guarantees every note-on sent gets
// its note-off. Fixed capacity, no allocation: it runs on the audio thread.
#pragma once

#include <cstdint>

struct OutgoingMidi {
  int deltaFrames = 0;
  uint8_t data[3] = {0, 0, 0};
};

class MidiOutput {
 public:
  static constexpr int kRingSlots = 255;  // holds at most 254 messages
  static constexpr int kMaxEvents = 255;
  static constexpr int kNumKeys = 128;

  // Queues status | data1 << 8 | data2 << 16; false when the ring is full
  // and the message was dropped.
  bool addMidiMsg(uint32_t message, int deltaFrames);
  // Queues a channel message and keeps the key's note-on flag: set by a
  // note-on (0x90), cleared by anything else.
  void addMidiMsg(int status, int data1, int data2, int deltaFrames);

  void addDelayedNoteOff(int note);
  // At a block start: the note-offs held over from the last block, at
  // `deltaFrames` (half the block).
  void sendDelayedNoteOffs(int deltaFrames);
  // Queues a note-off at 0 for every key whose note-on went out; true when
  // at least one was queued.
  bool queueNoteOffsForSoundingKeys();

  // Moves the ring's messages into the event list; returns their number.
  int PrepareEventList();
  const OutgoingMidi* events() const { return m_events; }
  int eventCount() const { return m_eventCount; }

  bool noteSentOn(int key) const { return key >= 0 && key < kNumKeys && m_noteSentOn[key]; }

  int m_lastSequencerNote = -1;

 private:
  struct Slot {
    uint32_t message;
    uint32_t reserved;
    int deltaFrames;
  };

  Slot m_ring[kRingSlots] = {};
  int m_writeIndex = 0;
  int m_readIndex = 0;
  OutgoingMidi m_events[kMaxEvents];
  int m_eventCount = 0;
  bool m_noteSentOn[kNumKeys] = {};
  bool m_delayedNoteOff[kNumKeys] = {};
};
