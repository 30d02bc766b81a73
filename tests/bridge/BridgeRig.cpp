#include "BridgeRig.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "editorbridge/SharedBlockLayout.h"

namespace vornix::test {
namespace {

// The log directory the stand-in editors write to, handed to them in the
// environment. The test process that makes it removes it when it exits; a
// death-test child finds it in its environment and only uses it (the logs
// are named by instance number, which the two processes never share).
std::string g_madeDirectory;

void removeMadeDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(g_madeDirectory, ignored);
}

const std::string& logDirectory() {
  static const std::string directory = []() -> std::string {
    if (const char* inherited = std::getenv("VORNIX_STANDIN_LOG")) return inherited;
    char path[] = "/tmp/vornix-bridge-test.XXXXXX";
    if (!mkdtemp(path)) return "/tmp";
    g_madeDirectory = path;
    std::atexit(removeMadeDirectory);
    setenv("VORNIX_STANDIN_LOG", path, 1);
    return path;
  }();
  return directory;
}

std::vector<int> mappedBlocks() {
  std::vector<int> numbers;
  std::ifstream maps("/proc/self/maps");
  const std::string marker = "/dev/shm/vnxddata.mmap";
  for (std::string line; std::getline(maps, line);)
    if (line.find(marker) != std::string::npos)
      numbers.push_back(std::atoi(line.c_str() + line.find(marker) + marker.size()));
  return numbers;
}

}  // namespace

Bytes parameterMessage(int index, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  Bytes bytes = {1};
  for (uint32_t field : {static_cast<uint32_t>(index), bits})
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(field >> (8 * i)));
  return bytes;
}

int countLines(const Lines& lines, const std::string& line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

BridgeRig::BridgeRig() {
  logDirectory();
  const std::vector<int> before = mappedBlocks();
  m_host = std::make_unique<FakeHost>();
  for (int n : mappedBlocks())
    if (std::find(before.begin(), before.end(), n) == before.end()) m_number = n;
}

BridgeRig::~BridgeRig() {
  destroy();
  if (m_block) munmap(const_cast<uint8_t*>(m_block), SharedBlockLayout::kSize);
}

bool BridgeRig::open(uintptr_t window) {
  return m_host->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(window)) != 0;
}

void BridgeRig::destroy() {
  if (m_uiFifo >= 0) ::close(m_uiFifo);
  m_uiFifo = -1;
  if (m_host->valid()) m_host->close();
}

void BridgeRig::send(const Bytes& bytes) {
  if (m_uiFifo < 0) m_uiFifo = ::open(uiFifoPath(m_number).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(m_uiFifo, 0) << "UI FIFO of instance " << m_number;
  // A full FIFO (the bridge is still working through a backlog) takes the
  // bytes once there is room.
  EXPECT_TRUE(waitFor(
      [&] { return write(m_uiFifo, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()); }));
}

Lines BridgeRig::settle(const Bytes& bytes) {
  // "Tuning" to k/64: exact in a float and in the editor's %g line.
  m_markers = m_markers % 63 + 1;
  char marker[32];
  std::snprintf(marker, sizeof(marker), "1 2 %g", m_markers / 64.0);
  const size_t before = log().size();
  send(bytes + parameterMessage(2, static_cast<float>(m_markers / 64.0)));
  Lines fresh;
  EXPECT_TRUE(waitFor([&] {
    const Lines lines = log();
    const auto echo = std::find(lines.begin() + static_cast<std::ptrdiff_t>(std::min(before, lines.size())),
                                lines.end(), marker);
    fresh.assign(lines.begin() + static_cast<std::ptrdiff_t>(std::min(before, lines.size())), echo);
    return echo != lines.end();
  })) << "no echo of the marker "
      << marker;
  // An empty processEvents takes the instrument's state as an audio call
  // does: what the bridge's thread did is then ordered before our reads.
  VstEvents none{};
  m_host->dispatch(effProcessEvents, 0, 0, &none);
  return fresh;
}

Lines BridgeRig::log() const {
  Lines lines;
  std::ifstream file(logDirectory() + "/" + std::to_string(m_number) + ".log");
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

bool BridgeRig::waitFor(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool BridgeRig::waitForLine(const std::string& line) const {
  return waitFor([&] { return countLines(log(), line) > 0; });
}

const uint8_t* BridgeRig::block() {
  const int fd = m_block ? -1 : shm_open(sharedBlockName(m_number).c_str(), O_RDONLY, 0);
  if (fd >= 0) {
    void* mapped = mmap(nullptr, SharedBlockLayout::kSize, PROT_READ, MAP_SHARED, fd, 0);
    if (mapped != MAP_FAILED) m_block = static_cast<const uint8_t*>(mapped);
    ::close(fd);
  }
  return m_block;
}

}  // namespace vornix::test
