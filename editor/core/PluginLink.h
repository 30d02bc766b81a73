// The editor's end of the connection to its instrument: the shared block
// (mapped read-only), the UI FIFO it writes its requests to, and the plug-in
// FIFO it reads the instrument's messages from.
//
// The plug-in FIFO is opened for reading only, without blocking. While the
// instrument holds its end open, an empty FIFO is simply not readable; once
// the instrument's end is closed (instrument destroyed, host gone) the FIFO
// reads as end of file, which tells the editor to end. Opened for reading and
// writing instead, it would never report that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class PluginLink {
 public:
  PluginLink() = default;
  ~PluginLink();
  PluginLink(const PluginLink&) = delete;
  PluginLink& operator=(const PluginLink&) = delete;

  // Opens both FIFOs of instance n; false (with a reason) if either fails.
  bool open(int instance, std::string& error);
  // Maps the shared block if it is not mapped yet (it may appear later than
  // the editor starts); false while it is missing or too small.
  bool mapBlock();

  const uint8_t* block() const { return block_; }
  size_t blockSize() const { return block_ ? blockSize_ : 0; }
  int pluginFd() const { return pluginFd_; }

  // One message, in one write; false if it could not be written whole (the
  // instrument is not reading: its window is closed and the FIFO is full).
  bool send(const uint8_t* bytes, size_t size);
  // Appends what the plug-in FIFO holds to `buffer`. Returns false at end of
  // file or on a read error, true otherwise (also when nothing was there).
  bool receive(std::vector<uint8_t>& buffer);

 private:
  int instance_ = 0;
  int uiFd_ = -1;
  int pluginFd_ = -1;
  const uint8_t* block_ = nullptr;
  size_t blockSize_ = 0;
};
