// Editor requests of every kind arriving continuously while the host runs
// audio blocks and sends MIDI, for a few seconds. Run under the address and
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

// Export (32, head: kind) or import (33, head: kind, slot) of a path.
Bytes path(const Bytes& head, const std::string& text) {
  Bytes bytes = head;
  const auto length = static_cast<uint32_t>(text.size());
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(length >> (8 * i)));
  for (char c : text) bytes.push_back(static_cast<uint8_t>(c));
  return bytes;
}

Bytes randomRequest(std::mt19937& random) {
  auto pick = [&](int n) { return static_cast<uint8_t>(random() % static_cast<unsigned>(n)); };
  switch (pick(12)) {
    case 0: {
      // Every parameter but "NB STEP", so no pattern hides steps the
      // state chunk would not carry.
      int index = pick(29);
      if (index == 10) index = 3;
      return parameterMessage(index, static_cast<float>(pick(101)) / 100.0f);
    }
    case 1: return {11, pick(8)};
    case 2: return {12, pick(3), pick(16), pick(61), 0, 0, 0};
    case 3: return {10, pick(6), 0, 0};
    case 4: return {13, pick(4), pick(66), 0};
    case 5: {
      Bytes name = {14, 12};
      for (int i = 0; i < 12; ++i) name.push_back(static_cast<uint8_t>('a' + pick(26)));
      return name;
    }
    case 6: return {pick(2) ? uint8_t{16} : uint8_t{18}};
    case 7: return {static_cast<uint8_t>(2 + pick(3)), pick(2) ? uint8_t{0x90} : uint8_t{0x80}, pick(128), 100};
    case 8: return path({32, pick(6)}, "/nonexistent/vornix-stress.303");
    case 9: return path({33, pick(6), pick(64)}, "/nonexistent/vornix-stress.303");
    case 10: return {63};
    default: return parameterMessage(26, static_cast<float>(pick(3)) * 0.4f);
  }
}

TEST(BridgeStress, EditorTrafficWhileBlocksRunLeavesAConsistentSong) {
  BridgeRig rig;
  ASSERT_TRUE(rig.start());
  ScriptedHost& host = rig.host();
  host.resume();
  host.playTransport(140.0);
  const int fd = open(uiFifoPath(rig.number()).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0);

  std::atomic<bool> stop{false};
  std::atomic<int> sent{0};
  std::thread editor([&] {
    std::mt19937 random(20261206);
    while (!stop.load()) {
      const Bytes message = randomRequest(random);
      while (write(fd, message.data(), message.size()) < 0 && !stop.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the FIFO is full
      sent.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  for (int block = 0; std::chrono::steady_clock::now() < end; ++block) {
    if (block % 16 == 0) host.sendMidi({noteOn(36 + block % 40, 100), noteOff(36 + (block + 8) % 40)});
    if (block % 100 == 50) host.sendMidi({noteOn(block % 32, 100)});  // a pattern change
    host.process(256);
    if (block % 4 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  stop.store(true);
  editor.join();
  close(fd);
  rig.settle({});
  for (int i = 0; i < 4; ++i) host.process(256);
  EXPECT_GT(sent.load(), 1000);

  // A second instance restored from the first one's state shows the same
  // song in its block.
  BridgeRig copy;
  ASSERT_EQ(copy.host().setChunk(host.getChunk()), 1);
  const uint8_t* a = rig.block();
  const uint8_t* b = copy.block();
  for (int p = 0; p < SharedBlockLayout::kPatterns; ++p) {
    const size_t at = SharedBlockLayout::patternRecord(p);
    EXPECT_EQ(std::memcmp(a + at, b + at, SharedBlockLayout::kPatternRecordSize), 0) << "pattern " << p;
    const int length = readPatternLength(a, p);
    EXPECT_TRUE(length >= 1 && length <= 64) << "pattern " << p;
  }
}

}  // namespace
}  // namespace vornix::test
