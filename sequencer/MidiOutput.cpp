#include "sequencer/MidiOutput.h"

bool MidiOutput::addMidiMsg(uint32_t message, int deltaFrames) {
  const int next = (m_writeIndex + 1) % kRingSlots;
  if (next == m_readIndex) return false;  // full: the newest message is dropped
  m_ring[m_writeIndex] = Slot{message & 0xFFFFFFu, 0u, deltaFrames};
  m_writeIndex = next;
  return true;
}

void MidiOutput::addMidiMsg(int status, int data1, int data2, int deltaFrames) {
  const int key = data1 & 0x7F;
  m_noteSentOn[key] = (status == 0x90);
  addMidiMsg(static_cast<uint32_t>(status & 0xFF) | (static_cast<uint32_t>(data1 & 0xFF) << 8) |
                 (static_cast<uint32_t>(data2 & 0xFF) << 16),
             deltaFrames);
}

void MidiOutput::addDelayedNoteOff(int note) {
  if (note >= 0 && note < kNumKeys) m_delayedNoteOff[note] = true;
}

void MidiOutput::sendDelayedNoteOffs(int deltaFrames) {
  for (int key = 0; key < kNumKeys; ++key) {
    if (!m_delayedNoteOff[key]) continue;
    addMidiMsg(0x80, key, 0, deltaFrames);
    m_delayedNoteOff[key] = false;
  }
}

bool MidiOutput::queueNoteOffsForSoundingKeys() {
  bool queued = false;
  for (int key = 0; key < kNumKeys; ++key) {
    if (!m_noteSentOn[key]) continue;
    addMidiMsg(0x80, key, 0, 0);
    queued = true;
  }
  return queued;
}

int MidiOutput::PrepareEventList() {
  m_eventCount = 0;
  for (int i = m_readIndex; i != m_writeIndex; i = (i + 1) % kRingSlots) {
    if (m_eventCount >= kMaxEvents) break;
    OutgoingMidi& event = m_events[m_eventCount++];
    const uint32_t message = m_ring[i].message;
    event.deltaFrames = m_ring[i].deltaFrames;
    event.data[0] = static_cast<uint8_t>(message & 0xFF);
    event.data[1] = static_cast<uint8_t>((message >> 8) & 0xFF);
    event.data[2] = static_cast<uint8_t>((message >> 16) & 0xFF);
  }
  m_readIndex = m_writeIndex;
  return m_eventCount;
}
