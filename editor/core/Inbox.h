// Splits the byte stream from the plug-in FIFO into messages. A message cut
// in two by the pipe waits for its tail; a byte that starts no known message
// means the stream can no longer be trusted, so the rest is dropped (the next
// refresh from the instrument brings the editor back in step).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PluginMessage {
  enum Kind { kParameter = 1, kRefresh = 2, kStep = 3, kMidi = 4, kOpen = 6, kQuit = 7, kAlgorithm = 16 };
  Kind kind;
  int index = 0;      // parameter index; step; algorithm
  float value = 0.0f; // parameter value
  uint8_t status = 0, data1 = 0, data2 = 0;  // MIDI
  unsigned long window = 0;                   // open: the host's new window
};

class Inbox {
 public:
  // Takes the bytes read; complete messages land in `out`, in order.
  void feed(const uint8_t* bytes, size_t size, std::vector<PluginMessage>& out);
  size_t pending() const { return pending_.size(); }

 private:
  std::vector<uint8_t> pending_;
};
