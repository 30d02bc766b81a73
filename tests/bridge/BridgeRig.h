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

#include "support/ScriptedHost.h"

namespace vornix::test {

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

class BridgeRig {
 public:
  BridgeRig();
  ~BridgeRig();

  ScriptedHost& host() { return *m_host; }
  // The instance's number, read from the shared block it mapped.
  int number() const { return m_number; }

  // effEditOpen with this window handle; effEditClose; effClose.
  bool open(uintptr_t window);
  // Opens and waits until the stand-in editor has mapped the block.
  bool start(uintptr_t window = 4242);
  void close();
  void destroy();

  // Writes bytes into the UI FIFO as the editor would.
  void send(const Bytes& bytes);
  // Sends bytes followed by a marker (a parameter message whose echo is
  // unique) and waits for the marker's echo: everything before it has then
  // been executed. Answers the editor's log lines that came before it.
  Lines settle(const Bytes& bytes);

  // The stand-in editor's log, one line per event.
  Lines log() const;
  // Waits up to `limit` until the log holds a line equal to `line`.
  bool waitForLine(const std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(5)) const;
  // Waits up to `limit` until `done` answers true.
  static bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));

  // The shared block, mapped read-only by its name (null if absent).
  const uint8_t* block();

 private:
  std::unique_ptr<ScriptedHost> m_host;
  int m_number = -1;
  int m_uiFifo = -1;
  int m_markers = 0;
  const uint8_t* m_block = nullptr;
};

// An editor-to-plug-in parameter message, laid out by hand.
Bytes parameterMessage(int index, float value);
// Messages one after the other.
inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// How many lines equal `line`.
int countLines(const Lines& lines, const std::string& line);

// The instance numbers whose shared block this process maps now.
std::vector<int> mappedInstanceNumbers();

}  // namespace vornix::test
