// One plug-in instance of the bridge test module, seen from both ends: the
// host (FakeHost, through the dispatcher) and the editor (the instance's
// FIFOs and shared block, opened by its number, and the log of the
// stand-in editor program the plug-in starts).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/FakeHost.h"

namespace vornix::test {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

class BridgeRig {
 public:
  BridgeRig();
  ~BridgeRig();

  FakeHost& host() { return *m_host; }
  // The instance's number, read from the shared block it mapped.
  int number() const { return m_number; }

  // effEditOpen with this window handle; effEditClose; effClose.
  bool open(uintptr_t window);
  void close();
  void destroy();

  // Writes bytes into the UI FIFO as the editor would.
  void send(const Bytes& bytes);

  // The stand-in editor's log, one line per event.
  Lines log() const;
  // Waits up to `limit` until the log holds a line equal to `line`.
  bool waitForLine(const std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(5)) const;
  // Waits up to `limit` until `done` answers true.
  static bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));

  // The shared block, mapped read-only by its name (null if absent).
  const uint8_t* block();

 private:
  std::unique_ptr<FakeHost> m_host;
  int m_number = -1;
  int m_uiFifo = -1;
  const uint8_t* m_block = nullptr;
};

// The instance numbers whose shared block this process maps now.
std::vector<int> mappedInstanceNumbers();

}  // namespace vornix::test
