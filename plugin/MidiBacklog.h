// Host MIDI that arrived while the editor bridge owned the instrument's
// state (StateOwnership): kept in order, without allocating, and handled at
// the next audio call that owns the state, at the start of its block.
#pragma once

#include <cstdint>

class MidiBacklog {
 public:
  static constexpr int kCapacity = 256;

  struct Message {
    uint8_t status;
    uint8_t data1;
    uint8_t data2;
  };

  // False (the message is dropped) when full.
  bool add(uint8_t status, uint8_t data1, uint8_t data2) {
    if (m_count >= kCapacity) return false;
    m_messages[m_count++] = Message{status, data1, data2};
    return true;
  }
  bool empty() const { return m_count == 0; }
  int size() const { return m_count; }
  const Message& operator[](int i) const { return m_messages[i]; }
  void clear() { m_count = 0; }

 private:
  Message m_messages[kCapacity] = {};
  int m_count = 0;
};
