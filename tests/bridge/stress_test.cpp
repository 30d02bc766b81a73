// Editor requests of every kind arriving continuously while the host runs
// audio blocks and sends MIDI, for a few seconds. Under the address and
// thread sanitizers it shows that no request meets a block in progress;
// afterwards the shared block must still mirror the instrument's song.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "BridgeRig.h"
#include "editorbridge/SharedBlockLayout.h"

namespace vornix::test {
namespace {

Bytes randomRequest(std::mt19937& random) {
  auto pick = [&](int n) { return static_cast<uint8_t>(random() % static_cast<unsigned>(n)); };
  // File requests (opcodes 32, 33) of a path that does not exist, 5 bytes.
  const Bytes path = {5, 0, 0, 0, '/', 'n', 'o', '/', 'x'};
  switch (pick(11)) {
    // Every parameter but "NB STEP", so that no pattern hides steps the
    // state chunk does not carry.
    case 0:
      return parameterMessage(pick(2) ? 3 + pick(7) : 11 + pick(18), pick(101) / 100.0f);
    case 1:
      return {11, pick(8)};
    case 2:
      return {12, pick(3), pick(16), pick(61), 0, 0, 0};
    case 3:
      return {10, pick(6), 0, 0};
    case 4:
      return {13, pick(4), pick(66), 0};
    case 5:
      return {14, 3, static_cast<uint8_t>('a' + pick(26)), 'b', 'c'};
    case 6:
      return {pick(2) ? uint8_t{16} : uint8_t{18}};
    case 7:
      return {static_cast<uint8_t>(2 + pick(3)), pick(2) ? uint8_t{0x90} : uint8_t{0x80}, pick(128), 100};
    case 8:
      return Bytes{32, pick(6)} + path;
    case 9:
      return Bytes{33, pick(6), pick(64)} + path;
    default:
      return {63};
  }
}

TEST(BridgeStress, EditorTrafficWhileBlocksRunLeavesAConsistentSong) {
  BridgeRig rig;
  ASSERT_TRUE(rig.start());
  FakeHost& host = rig.host();
  host.resume();
  host.play(140.0);
  const int fd = open(uiFifoPath(rig.number()).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::atomic<bool> stop{false};
  std::thread editor([&] {
    std::mt19937 random(20261206);
    while (!stop.load()) {
      const Bytes message = randomRequest(random);
      while (write(fd, message.data(), message.size()) < 0 && !stop.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the FIFO is full
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (int block = 0; std::chrono::steady_clock::now() < end; ++block) {
    if (block % 16 == 0) host.sendMidi({noteOn(36 + block % 40, 100), noteOff(36 + (block + 8) % 40)});
    if (block % 100 == 50) host.sendMidi({noteOn(block % 32, 100)});  // a pattern change
    host.render(256);
    if (block % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop.store(true);
  editor.join();
  close(fd);
  rig.settle({});

  // A second instance restored from this one's state shows the same song.
  BridgeRig copy;
  ASSERT_EQ(copy.host().setChunk(host.getChunk()), 1);
  for (int p = 0; p < SharedBlockLayout::kPatterns; ++p) {
    const size_t at = SharedBlockLayout::patternRecord(p);
    EXPECT_EQ(std::memcmp(rig.block() + at, copy.block() + at, SharedBlockLayout::kPatternRecordSize), 0)
        << p;
  }
}

}  // namespace
}  // namespace vornix::test
