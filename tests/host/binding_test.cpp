// The host binding as a host sees it: the AEffect record, instance creation
// and destruction, and the answers of the dispatcher.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

TEST(Binding, RecordAndLifecycle) {
  FakeHost host;
  ASSERT_TRUE(host.valid());
  const AEffect& e = *host.effect();
  EXPECT_EQ(e.magic, 0x56737450);     // 'VstP'
  EXPECT_EQ(e.flags, 0x131);          // editor, replacing, chunks, synth
  EXPECT_EQ(e.uniqueID, 0x6B6E7433);  // 'knt3', first character most significant
  EXPECT_TRUE(e.version == 1 && e.numPrograms == 1 && e.numParams == 29 && e.initialDelay == 0);
  EXPECT_TRUE(e.numInputs == 0 && e.numOutputs == 2);

  // Silent until the host first resumes the instance, playing or not.
  host.play(120.0);
  host.render(512, 40);
  EXPECT_EQ(host.peakFrom(0), 0.0);
  // The deprecated accumulating entry and the double entry exist (hosts fall
  // back to something worse on a null pointer) and leave the buffers alone.
  host.resume();
  float out[2][64];
  double dout[2][64];
  std::fill(&out[0][0], &out[0][0] + 128, 0.25f);
  std::fill(&dout[0][0], &dout[0][0] + 128, 0.5);
  float* outputs[2] = {out[0], out[1]};
  double* doubleOutputs[2] = {dout[0], dout[1]};
  e.process(host.effect(), nullptr, outputs, 64);
  e.processDoubleReplacing(host.effect(), nullptr, doubleOutputs, 64);
  for (int i = 0; i < 128; ++i) ASSERT_TRUE(out[i / 64][i % 64] == 0.25f && dout[i / 64][i % 64] == 0.5) << i;

  // Two instances are independent, and closing one leaves the other working.
  FakeHost other;
  host.setParameter(3, 0.5f);
  host.setParameter(10, 1.0f);
  EXPECT_EQ(other.getParameter(3), 0.09375f);
  EXPECT_EQ(other.display(10), "16");
  EXPECT_EQ(host.close(), 1);
  other.start(120.0);
  other.render(512, 20);
  EXPECT_TRUE(other.peakFrom(0) > 1e-3 && other.peakFrom(0) < 4.0);

  // The version query decides whether an instance is made: 0 is no host,
  // while some Linux hosts answer 2 rather than 2400.
  for (const auto& [version, made] : {std::pair{VstIntPtr(0), false}, {VstIntPtr(2), true}}) {
    EXPECT_EQ(FakeHost(44100.0f, version).valid(), made) << "host version " << version;
  }
}

TEST(Binding, DispatcherAnswers) {
  FakeHost host;
  const struct {
    VstInt32 opcode, index;
    VstIntPtr value, expected;
  } cases[] = {{effGetVstVersion, 0, 0, 2400}, {effIdentify, 0, 0, 0x4E764566 /* 'NvEf' */},
               {effGetPlugCategory, 0, 0, 2},  {effGetVendorVersion, 0, 0, 1},
               {effSetProgram, 0, 3, 0},       {effGetProgram, 0, 0, 0},
               {effCanBeAutomated, -1, 0, 1},  {effCanBeAutomated, 39, 0, 1}};
  for (const auto& c : cases) EXPECT_EQ(host.dispatch(c.opcode, c.index, c.value), c.expected) << c.opcode;
  // Deprecated opcodes some hosts still send, 2.x opcodes left to the base,
  // and numbers outside the table, with a zeroed record, answer 0.
  for (VstInt32 opcode : {9, 16, 20, 27, 33, 46, 53, 57, 62, 67, 72, 80, 200, 0x7FFF, -1}) {
    alignas(16) char scratch[2048] = {};
    EXPECT_EQ(host.dispatch(opcode, 0, 0, scratch), 0) << "opcode " << opcode;
  }
  void* arrangements[2] = {&host, &host};
  host.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&arrangements[0]), &arrangements[1]);
  EXPECT_TRUE(arrangements[0] == nullptr && arrangements[1] == nullptr);

  const std::pair<VstInt32, const char*> texts[] = {{effGetEffectName, "Vornix"},
                                                    {effGetVendorString, "Orvalent"},
                                                    {effGetProductString, "Vornix VST"},
                                                    {effGetProgramNameIndexed, kUntouched}};
  for (const auto& [opcode, expected] : texts) {
    VstIntPtr answer = -1;
    EXPECT_EQ(host.text(opcode, 0, &answer), expected);
    EXPECT_EQ(answer, expected == kUntouched ? 0 : 1) << expected;
  }

  // canDo matches whole strings only.
  auto canDo = [&](std::string text) { return host.dispatch(effCanDo, 0, 0, text.data()); };
  for (std::string yes : {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents", "sendVstMidiEvent"}) {
    EXPECT_TRUE(canDo(yes) == 1 && canDo(yes + "s") == -1 && canDo(yes.substr(0, yes.size() - 1)) == -1)
        << yes;
  }
  for (const char* no : {"receiveVstTimeInfo", "bypass", "offline", "2in2out", "", "RECEIVEVSTEVENTS"}) {
    EXPECT_EQ(canDo(no), -1) << no;
  }

  // The outputs are a stereo pair. Hosts built on the short declaration of
  // the pin record own nothing past byte 80: only the label and the flags
  // may be written.
  for (int pin : {0, 1, 2, 1000}) {
    VstPinProperties props;
    std::memset(&props, 0x5A, sizeof(props));
    EXPECT_EQ(host.dispatch(effGetOutputProperties, pin, 0, &props), pin < 2 ? 1 : 0) << pin;
    if (pin < 2) {
      EXPECT_EQ(std::string(props.label), "knt3 out " + std::to_string(pin + 1));
      EXPECT_EQ(props.flags, kVstPinIsActive | kVstPinIsStereo);
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(&props);
    for (size_t i = pin < 2 ? offsetof(VstPinProperties, arrangementType) : 0; i < sizeof(props); ++i) {
      ASSERT_EQ(bytes[i], 0x5A) << "pin " << pin << " byte " << i;
    }
  }
}

}  // namespace
}  // namespace vornix::test
