#include "editorbridge/SharedBlock.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "editorbridge/MessageCodec.h"
#include "editorbridge/SharedBlockLayout.h"
#include "sequencer/Song.h"

using namespace SharedBlockLayout;

namespace {

void reportMappingFailure() {
  std::printf("VornixVST > failed to map plugin shared memory \n");
  std::fflush(stdout);
}

// Only an object we created ourselves may carry our state: another local
// user could otherwise pre-create the name and read, or feed the editor,
// what we write.
bool isPrivateObject(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0) return false;
  return S_ISREG(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & 077) == 0;
}

}  // namespace

SharedBlock::~SharedBlock() {
  // The name stays: the editor program, already told to quit, may still
  // hold its own mapping, and the next instrument with this number reopens
  // and clears the object.
  if (m_block) munmap(m_block, kSize);
}

bool SharedBlock::create(int instanceNumber) {
  const int fd = shm_open(sharedBlockName(instanceNumber).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  void* address = MAP_FAILED;
  if (fd >= 0) {
    if (isPrivateObject(fd) && ftruncate(fd, static_cast<off_t>(kSize)) == 0)
      address = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
  }
  if (address == MAP_FAILED) {
    reportMappingFailure();
    return false;
  }
  m_block = static_cast<uint8_t*>(address);
  std::memset(m_block, 0, kSize);
  return true;
}

void SharedBlock::store32(size_t offset, uint32_t value) {
  // One aligned 32-bit store: the reader never sees half a number.
  uint8_t bytes[4];
  putLE32(bytes, value);
  uint32_t word;
  std::memcpy(&word, bytes, sizeof(word));
  std::memcpy(m_block + offset, &word, sizeof(word));
}

void SharedBlock::writeParameterValue(int k, float value) {
  if (!m_block || k < 0 || k >= kParameters) return;
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof(bits));
  store32(parameterRecord(k) + kParameterValue, bits);
}

void SharedBlock::writeParameterText(int k, const char* text) {
  if (!m_block || k < 0 || k >= kParameters || !text) return;
  char* field = reinterpret_cast<char*>(m_block + parameterRecord(k) + kParameterText);
  const size_t length = strnlen(text, kParameterTextSize - 1);
  std::memcpy(field, text, length);
  std::memset(field + length, 0, kParameterTextSize - length);
}

void SharedBlock::writePatterns(const Song& song) {
  if (!m_block) return;
  for (int p = 0; p < kPatterns; ++p) {
    const Pattern* pattern = song.getPattern(p);
    if (!pattern) continue;
    uint8_t* record = m_block + patternRecord(p);
    const std::string& name = pattern->getName();
    const size_t length = std::min(name.size(), kPatternNameSize - 1);
    std::memcpy(record + kPatternName, name.data(), length);
    std::memset(record + kPatternName + length, 0, kPatternNameSize - length);
    store32(patternRecord(p) + kPatternLength, static_cast<uint32_t>(pattern->getNBStep()));
    // All 64 stored steps, also those past the pattern's length.
    for (int s = 0; s < kSteps; ++s) {
      const Step& step = pattern->storedStep(s);
      store32(stepRecord(p, s) + kStepNote, static_cast<uint32_t>(step.note));
      record[static_cast<size_t>(s) * kStepRecordSize + kStepSlide] = step.slide ? 1 : 0;
      record[static_cast<size_t>(s) * kStepRecordSize + kStepAccent] = step.accent ? 1 : 0;
    }
  }
}

void SharedBlock::writeHostPlaying(bool playing) {
  if (m_block) m_block[kHostPlaying] = playing ? 1 : 0;
}

void SharedBlock::writeInternalRunning(bool running) {
  if (m_block) m_block[kInternalRunning] = running ? 1 : 0;
}

void SharedBlock::writeCurrentPattern(int index) {
  if (m_block) store32(kCurrentPattern, static_cast<uint32_t>(index));
}

void SharedBlock::writeTempo(double bpm) {
  if (!m_block) return;
  // Truncated toward zero; a tempo no int holds is left as it was.
  if (!std::isfinite(bpm) || std::fabs(bpm) >= static_cast<double>(std::numeric_limits<int32_t>::max())) return;
  store32(kTempo, static_cast<uint32_t>(static_cast<int32_t>(bpm)));
}

void SharedBlock::writeSyncType(int type) {
  if (m_block) store32(kSyncType, static_cast<uint32_t>(type));
}
