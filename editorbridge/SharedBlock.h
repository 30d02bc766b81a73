// The instrument's mapping of the shared state block (layout in
// SharedBlockLayout.h) and every writer of it. The instrument only writes
// the block; the editor program reads it at any time, so there is no
// version counter: a reader may see a record half written and simply reads
// again on the next refresh. Every 32-bit field is written with one aligned
// store.
//
// When the mapping failed every writer does nothing: the instrument works
// without a block and the editor finds nothing.
//
// Writers are plain memory writes with no system call, so the audio thread
// may call them (tempo every block, a pattern change by the sequencer).
#pragma once

#include <cstddef>
#include <cstdint>

class Song;

class SharedBlock {
 public:
  SharedBlock() = default;
  ~SharedBlock();
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  // Creates or reopens the object named from n, sizes and maps it and
  // clears it. An object that is not ours (another owner, not a regular
  // object, readable or writable by others) is refused. On failure prints
  // the mapping-failure line and leaves the block unmapped.
  bool create(int instanceNumber);
  bool mapped() const { return m_block != nullptr; }
  // The mapped bytes (null when unmapped), for the instrument's tests and
  // tools that inspect it.
  const uint8_t* bytes() const { return m_block; }

  // Parameter record k (0..28): the value field, and the text field, which
  // receives at most 15 bytes of text and a 0x00.
  void writeParameterValue(int k, float value);
  void writeParameterText(int k, const char* text);
  // Every pattern of the song: 64 step records, name, number of steps.
  void writePatterns(const Song& song);

  // Status record fields.
  void writeHostPlaying(bool playing);
  void writeInternalRunning(bool running);
  void writeCurrentPattern(int index);
  void writeTempo(double bpm);
  void writeSyncType(int type);

 private:
  void store32(size_t offset, uint32_t value);

  uint8_t* m_block = nullptr;
};
