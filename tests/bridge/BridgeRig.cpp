#include "BridgeRig.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "editorbridge/SharedBlockLayout.h"

namespace vornix::test {
namespace {

// One log directory per test process, handed to the stand-in editor in its
// environment.
const std::string& logDirectory() {
  static const std::string directory = [] {
    char path[] = "/tmp/vornix-bridge-test.XXXXXX";
    const char* made = mkdtemp(path);
    std::string result = made ? made : "/tmp";
    setenv("VORNIX_STANDIN_LOG", result.c_str(), 1);
    return result;
  }();
  return directory;
}

}  // namespace

std::vector<int> mappedInstanceNumbers() {
  std::vector<int> numbers;
  std::ifstream maps("/proc/self/maps");
  const std::string marker = "/dev/shm/vnxddata.mmap";
  for (std::string line; std::getline(maps, line);) {
    const size_t at = line.find(marker);
    if (at != std::string::npos) numbers.push_back(std::atoi(line.c_str() + at + marker.size()));
  }
  return numbers;
}

BridgeRig::BridgeRig() {
  logDirectory();
  const std::vector<int> before = mappedInstanceNumbers();
  m_host = std::make_unique<FakeHost>();
  for (int n : mappedInstanceNumbers())
    if (std::find(before.begin(), before.end(), n) == before.end()) m_number = n;
}

BridgeRig::~BridgeRig() {
  destroy();
  if (m_block) munmap(const_cast<uint8_t*>(m_block), SharedBlockLayout::kSize);
}

bool BridgeRig::open(uintptr_t window) { return m_host->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(window)) != 0; }

void BridgeRig::close() { m_host->dispatch(effEditClose); }

void BridgeRig::destroy() {
  if (m_uiFifo >= 0) ::close(m_uiFifo);
  m_uiFifo = -1;
  if (m_host && m_host->valid()) m_host->close();
}

void BridgeRig::send(const Bytes& bytes) {
  if (m_uiFifo < 0) m_uiFifo = ::open(uiFifoPath(m_number).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(m_uiFifo, 0) << "UI FIFO of instance " << m_number;
  ASSERT_EQ(write(m_uiFifo, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

Lines BridgeRig::log() const {
  Lines lines;
  std::ifstream file(logDirectory() + "/" + std::to_string(m_number) + ".log");
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

bool BridgeRig::waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool BridgeRig::waitForLine(const std::string& line, std::chrono::milliseconds limit) const {
  return waitFor(
      [&] {
        const Lines lines = log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
      },
      limit);
}

const uint8_t* BridgeRig::block() {
  if (m_block) return m_block;
  const int fd = shm_open(sharedBlockName(m_number).c_str(), O_RDONLY, 0);
  if (fd < 0) return nullptr;
  void* mapped = mmap(nullptr, SharedBlockLayout::kSize, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  if (mapped != MAP_FAILED) m_block = static_cast<const uint8_t*>(mapped);
  return m_block;
}

}  // namespace vornix::test
