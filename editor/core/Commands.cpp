#include "editor/core/Commands.h"

#include <cstring>
#include <vector>

namespace {

// Whole messages must go through the FIFO in one piece: writes up to the
// pipe's atomic size are never split.
constexpr size_t kMaxMessage = 4096;

void putU32(std::vector<uint8_t>& m, uint32_t v) {
  for (int i = 0; i < 4; ++i) m.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

void Commands::setParameter(int index, float value) {
  std::vector<uint8_t> m{1};
  putU32(m, static_cast<uint32_t>(index));
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  putU32(m, bits);
  send(m.data(), m.size());
}

void Commands::editStep(StepField field, int step, int value) {
  if (step < 0 || step > 63) return;
  std::vector<uint8_t> m{12, static_cast<uint8_t>(field), static_cast<uint8_t>(step)};
  putU32(m, static_cast<uint32_t>(value));
  send(m.data(), m.size());
}

void Commands::note(int midiNote, bool on, int velocity) {
  if (midiNote < 0 || midiNote > 127) return;
  uint8_t m[4] = {4, static_cast<uint8_t>(on ? 0x90 : 0x80), static_cast<uint8_t>(midiNote),
                  static_cast<uint8_t>(velocity & 0x7F)};
  send(m, sizeof m);
}

void Commands::editPattern(PatternEdit edit) {
  uint8_t m[2] = {11, static_cast<uint8_t>(edit)};
  send(m, sizeof m);
}

void Commands::slot(SlotAction action, int slot) {
  if (slot < 0 || slot > 63) return;
  uint8_t m[4] = {13, static_cast<uint8_t>(action), static_cast<uint8_t>(slot), 0};
  send(m, sizeof m);
}

void Commands::rename(const std::string& name) {
  size_t len = name.size() > 255 ? 255 : name.size();
  std::vector<uint8_t> m{14, static_cast<uint8_t>(len)};
  m.insert(m.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(len));
  send(m.data(), m.size());
}

void Commands::randomise(RandomKind kind) {
  uint8_t m[4] = {10, static_cast<uint8_t>(kind), 0, 0};
  send(m, sizeof m);
}

void Commands::play() {
  uint8_t m[1] = {16};
  send(m, sizeof m);
}

void Commands::stop() {
  uint8_t m[1] = {18};
  send(m, sizeof m);
}

bool Commands::exportFile(ExportKind kind, const std::string& path) {
  if (path.empty() || path.size() + 6 > kMaxMessage) return false;
  std::vector<uint8_t> m{32, static_cast<uint8_t>(kind)};
  putU32(m, static_cast<uint32_t>(path.size()));
  m.insert(m.end(), path.begin(), path.end());
  send(m.data(), m.size());
  return true;
}

bool Commands::importFile(ImportKind kind, int slot, const std::string& path) {
  if (path.empty() || path.size() + 7 > kMaxMessage || slot < 0 || slot > 63) return false;
  std::vector<uint8_t> m{33, static_cast<uint8_t>(kind), static_cast<uint8_t>(slot)};
  putU32(m, static_cast<uint32_t>(path.size()));
  m.insert(m.end(), path.begin(), path.end());
  send(m.data(), m.size());
  return true;
}
