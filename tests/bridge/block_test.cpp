// The shared block as the editor maps it by name: every byte against an
// image built here from the offsets of the layout table and from what the
// host sees of the instrument.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "BridgeRig.h"
#include "editorbridge/SharedBlockLayout.h"

namespace vornix::test {
namespace {

constexpr size_t kBlockSize = 75024;
constexpr int kFactoryNotes[16] = {13, 15, 15, 14, 12, 16, 15, 14, 16, 13, 8, 16, 12, 16, 18, 12};
constexpr bool kFactorySlides[16] = {0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
constexpr bool kFactoryAccents[16] = {0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1};

void put32(Bytes& image, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// Parameter record k at 32 k (value at 0, text at 16); pattern record p at
// 1024 + 1156 p (steps of 16 bytes: note, slide at 4, accent at 5; name at
// 1024; length at 1152); status at 75008.
struct Expected {
  Bytes image = Bytes(kBlockSize, 0);

  void parameter(FakeHost& host, int k) {
    const Bytes value = parameterMessage(k, host.getParameter(k));  // the float's bytes at 5..8
    std::copy(value.begin() + 5, value.end(), image.begin() + 32 * k);
    const std::string text = host.display(k);
    std::memset(&image[32 * k + 16], 0, 16);
    if (text != kUntouched) std::memcpy(&image[32 * k + 16], text.data(), text.size());  // none for 26..28
  }
  void pattern(int p, int length, const int* notes = nullptr) {
    const size_t record = 1024 + 1156 * static_cast<size_t>(p);
    for (int s = 0; s < 64; ++s) {
      const size_t step = record + 16 * static_cast<size_t>(s);
      const bool factory = notes && s < 16;
      put32(image, step, factory ? static_cast<uint32_t>(notes[s]) : 25u);
      image[step + 4] = factory && kFactorySlides[s];
      image[step + 5] = factory && kFactoryAccents[s];
    }
    const std::string name = "pattern " + std::to_string(p + 1);
    std::memcpy(&image[record + 1024], name.data(), name.size());
    put32(image, record + 1152, static_cast<uint32_t>(length));
  }
};

void expectSame(const uint8_t* block, const Bytes& expected) {
  const auto difference = std::mismatch(expected.begin(), expected.end(), block).first;
  EXPECT_EQ(difference, expected.end()) << "first difference at byte " << difference - expected.begin();
}

TEST(SharedBlock, HoldsExactlyTheInstrumentsStateAtTheLayoutsOffsets) {
  BridgeRig rig;
  FakeHost& host = rig.host();
  Expected expected;
  for (int k = 0; k < 29; ++k) expected.parameter(host, k);
  expected.pattern(0, 16, kFactoryNotes);
  for (int p = 1; p < 64; ++p) expected.pattern(p, 16);
  expectSame(rig.block(), expected.image);  // the status record is still zero

  host.setParameter(3, 0.5f);   // "CutOff"
  host.setParameter(10, 1.0f);  // 64 steps
  host.setParameter(26, 0.5f);  // internal clock
  host.setParameter(27, 0.5f);  // 170 BPM
  for (int k : {3, 10, 26, 27}) expected.parameter(host, k);
  expected.pattern(0, 64, kFactoryNotes);
  host.stop(133.7);
  host.render(64);
  put32(expected.image, 75016, 133);  // host tempo, truncated
  put32(expected.image, 75020, 1);    // sync type
  expectSame(rig.block(), expected.image);
}

}  // namespace
}  // namespace vornix::test
