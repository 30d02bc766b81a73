// Splits the byte stream from the plug-in FIFO into messages. A message cut
// in two by the pipe waits for its tail; a byte that starts no known message
// means the stream can no longer be trusted, so the rest is dropped (the next
// refresh from the instrument brings the editor back in step).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "editorbridge/MessageCodec.h"

class Inbox {
 public:
  // Takes the bytes read; complete messages land in `out`, in order.
  void feed(const uint8_t* bytes, size_t size, std::vector<PluginMessage>& out);
  size_t pending() const { return pending_.size(); }

 private:
  std::vector<uint8_t> pending_;
};

// The open message's window text as an X window id; false unless it is
// plain decimal digits that fit.
bool parseWindowId(const std::string& text, unsigned long& id);
