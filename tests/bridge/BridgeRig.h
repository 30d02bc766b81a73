// One plug-in instance of the bridge test module, seen from both ends: the
// host (FakeHost, through the dispatcher) and the editor (the FIFOs and
// the shared block, opened by the instance's number, and the log of the
// stand-in editor program that the plug-in starts).
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
  // The instance's number, found from the shared block it maps.
  int number() const { return m_number; }

  // effEditOpen with this window handle, effEditClose, effClose.
  bool open(uintptr_t window);
  void close() { m_host->dispatch(effEditClose); }
  void destroy();
  // Opens and waits until the stand-in editor has mapped the block.
  bool start(uintptr_t window = 4242) { return open(window) && waitForLine("block ok"); }

  // Writes bytes into the UI FIFO as the editor would.
  void send(const Bytes& bytes);
  // Sends bytes and then a marker (a parameter message with a unique
  // echo) and waits for the marker's echo: everything before it has been
  // executed. Answers the lines the editor logged before the echo.
  Lines settle(const Bytes& bytes);

  // The stand-in editor's log, one line per event.
  Lines log() const;
  bool waitForLine(const std::string& line) const;
  static bool waitFor(const std::function<bool()>& done);

  // The shared block, mapped read-only by its name.
  const uint8_t* block();

 private:
  std::unique_ptr<FakeHost> m_host;
  int m_number = -1;
  int m_uiFifo = -1;
  int m_markers = 0;
  const uint8_t* m_block = nullptr;
};

// An editor-to-plug-in parameter message, laid out by hand.
Bytes parameterMessage(int index, float value);
inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
int countLines(const Lines& lines, const std::string& line);

}  // namespace vornix::test
