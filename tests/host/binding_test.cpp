// The host binding as a host sees it: the AEffect record, instance
// creation and destruction, and the answers of the dispatcher.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "support/FakeHost.h"

namespace vornix::test {
namespace {

constexpr VstInt32 kUniqueId = 0x6B6E7433;  // 'k' 'n' 't' '3', first char most significant
constexpr VstInt32 kIdentify = 0x4E764566;  // 'N' 'v' 'E' 'f'

TEST(AEffectRecord, IsFilledAsAnInstrumentWithChunkState) {
  FakeHost host;
  ASSERT_TRUE(host.valid());
  const AEffect& e = *host.effect();
  EXPECT_EQ(e.magic, 0x56737450);  // 'VstP'
  // Replacing processing, chunk state and synth; the editor flag is not
  // there yet because no editor bridge is attached.
  EXPECT_EQ(e.flags, 0x131);
  EXPECT_EQ(e.uniqueID, kUniqueId);
  EXPECT_EQ(e.version, 1);
  EXPECT_EQ(e.numPrograms, 1);
  EXPECT_EQ(e.numParams, 29);
  EXPECT_EQ(e.numInputs, 0);
  EXPECT_EQ(e.numOutputs, 2);
  EXPECT_EQ(e.ioRatio, 1.0f);
  EXPECT_EQ(e.initialDelay, 0);
  EXPECT_EQ(e.resvd1, 0);
  EXPECT_EQ(e.resvd2, 0);
  EXPECT_EQ(e.realQualities, 0);
  EXPECT_EQ(e.offQualities, 0);
  EXPECT_EQ(e.user, nullptr);
  EXPECT_NE(e.dispatcher, nullptr);
  EXPECT_NE(e.setParameter, nullptr);
  EXPECT_NE(e.getParameter, nullptr);
  // Hosts fall back to the deprecated entry when they see a null one, so
  // every pointer must be callable.
  EXPECT_NE(e.process, nullptr);
  EXPECT_NE(e.processReplacing, nullptr);
  EXPECT_NE(e.processDoubleReplacing, nullptr);
  for (char byte : e.future) EXPECT_EQ(byte, 0);
}

TEST(AEffectRecord, DeprecatedAndDoubleEntriesLeaveTheBuffersAlone) {
  FakeHost host;
  host.resume();
  float left[64], right[64];
  double dleft[64], dright[64];
  for (int i = 0; i < 64; ++i) {
    left[i] = right[i] = 0.25f;
    dleft[i] = dright[i] = 0.5;
  }
  float* outputs[2] = {left, right};
  double* doubleOutputs[2] = {dleft, dright};
  host.effect()->process(host.effect(), nullptr, outputs, 64);
  host.effect()->processDoubleReplacing(host.effect(), nullptr, doubleOutputs, 64);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(left[i], 0.25f);
    EXPECT_EQ(right[i], 0.25f);
    EXPECT_EQ(dleft[i], 0.5);
    EXPECT_EQ(dright[i], 0.5);
  }
}

TEST(InstanceLifecycle, VersionQueryDecidesWhetherAnInstanceIsMade) {
  FakeHost::Options refusing;
  refusing.hostVersion = 0;
  FakeHost noHost(refusing);
  EXPECT_FALSE(noHost.valid());

  // Some Linux hosts answer 2 rather than 2400; any non-zero answer is a host.
  FakeHost::Options old;
  old.hostVersion = 2;
  FakeHost oldHost(old);
  EXPECT_TRUE(oldHost.valid());
}

TEST(InstanceLifecycle, CloseAnswersOneAndLaterInstancesWork) {
  {
    FakeHost first;
    ASSERT_TRUE(first.valid());
    first.setParameter(3, 0.75f);
    EXPECT_EQ(first.close(), 1);
    EXPECT_FALSE(first.valid());
  }
  // A fresh instance after a close starts from the defaults, not from the
  // closed instance's state.
  FakeHost second;
  ASSERT_TRUE(second.valid());
  EXPECT_FLOAT_EQ(second.getParameter(3), 0.09375f);
  EXPECT_EQ(second.getChunk().size(), 11512u);
  second.resume();
  second.process(256);
  for (float s : second.left()) EXPECT_TRUE(std::isfinite(s));
}

TEST(InstanceLifecycle, InstancesAliveTogetherAreIndependent) {
  FakeHost a;
  FakeHost b;
  ASSERT_TRUE(a.valid());
  ASSERT_TRUE(b.valid());
  EXPECT_NE(a.effect(), b.effect());
  EXPECT_NE(a.effect()->object, b.effect()->object);

  a.setParameter(3, 0.5f);
  a.setParameter(10, 1.0f);
  a.setParameter(27, 0.5f);
  EXPECT_FLOAT_EQ(b.getParameter(3), 0.09375f);
  EXPECT_FLOAT_EQ(b.getParameter(10), 15.0f / 63.0f);
  EXPECT_FLOAT_EQ(b.getParameter(27), 80.0f / 260.0f);
  EXPECT_EQ(a.parameterDisplay(10), "64");
  EXPECT_EQ(b.parameterDisplay(10), "16");
  EXPECT_EQ(a.getChunk().size(), 11512u + 144u);
  EXPECT_EQ(b.getChunk().size(), 11512u);

  // Closing one leaves the other fully working, callbacks included.
  a.close();
  b.resume();
  b.playTransport(120.0);
  for (int i = 0; i < 20; ++i) b.process(512);
  for (float s : b.left()) EXPECT_TRUE(std::isfinite(s));
  EXPECT_GT(b.getTimeCount(), 0);
  EXPECT_EQ(b.parameterName(0), "Volume");
}

TEST(Dispatcher, IdentityAnswers) {
  FakeHost host;
  EXPECT_EQ(host.dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(host.dispatch(effIdentify), kIdentify);
  EXPECT_EQ(host.dispatch(effGetPlugCategory), 2);
  EXPECT_EQ(host.dispatch(effGetVendorVersion), 1);

  VstIntPtr answer = 0;
  EXPECT_EQ(host.queryString(effGetEffectName, 0, &answer), "Vornix");
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(host.queryString(effGetVendorString, 0, &answer), "Orvalent");
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(host.queryString(effGetProductString, 0, &answer), "Vornix VST");
  EXPECT_EQ(answer, 1);
}

TEST(Dispatcher, CanDoMatchesWholeStringsOnly) {
  FakeHost host;
  auto canDo = [&](std::string text) { return host.dispatch(effCanDo, 0, 0, text.data()); };
  for (const char* supported :
       {"receiveVstEvents", "receiveVstMidiEvent", "sendVstEvents", "sendVstMidiEvent"}) {
    const std::string text = supported;
    EXPECT_EQ(canDo(text), 1) << text;
    EXPECT_EQ(canDo(text + "s"), -1) << text << " plus one character";
    EXPECT_EQ(canDo(text.substr(0, text.size() - 1)), -1) << text << " cut short";
  }
  for (const char* other : {"receiveVstTimeInfo", "sendVstTimeInfo", "bypass", "offline",
                            "midiProgramNames", "2in2out", "", "RECEIVEVSTEVENTS"}) {
    EXPECT_EQ(canDo(other), -1) << other;
  }
}

TEST(Dispatcher, OutputPinsAreAStereoPair) {
  FakeHost host;
  for (int pin = 0; pin < 2; ++pin) {
    VstPinProperties props;
    std::memset(&props, 0x5A, sizeof(props));
    EXPECT_EQ(host.dispatch(effGetOutputProperties, pin, 0, &props), 1);
    EXPECT_STREQ(props.label, pin == 0 ? "knt3 out 1" : "knt3 out 2");
    EXPECT_EQ(props.flags, kVstPinIsActive | kVstPinIsStereo);
    // Only the label and the flags are written; hosts built on the short
    // declaration of the record own nothing past byte 80.
    EXPECT_EQ(props.arrangementType, 0x5A5A5A5A);
    for (char c : props.shortLabel) EXPECT_EQ(static_cast<uint8_t>(c), 0x5A);
    for (char c : props.future) EXPECT_EQ(static_cast<uint8_t>(c), 0x5A);
  }
  VstPinProperties untouched;
  std::memset(&untouched, 0x5A, sizeof(untouched));
  EXPECT_EQ(host.dispatch(effGetOutputProperties, 2, 0, &untouched), 0);
  EXPECT_EQ(host.dispatch(effGetOutputProperties, 1000, 0, &untouched), 0);
  for (size_t i = 0; i < sizeof(untouched); ++i) {
    EXPECT_EQ(reinterpret_cast<uint8_t*>(&untouched)[i], 0x5A) << "byte " << i;
  }
}

TEST(Dispatcher, SingleProgramSlot) {
  FakeHost host;
  EXPECT_EQ(host.dispatch(effGetProgram), 0);
  EXPECT_EQ(host.dispatch(effSetProgram, 0, 3), 0);
  EXPECT_EQ(host.dispatch(effGetProgram), 0);
  EXPECT_EQ(host.dispatch(effSetProgram, 0, 0), 0);
  EXPECT_EQ(host.dispatch(effGetProgram), 0);
  // The unnamed program: indexed name queries write nothing and answer 0.
  VstIntPtr answer = -1;
  EXPECT_EQ(host.queryString(effGetProgramNameIndexed, 0, &answer), kUntouched);
  EXPECT_EQ(answer, 0);
  // A host renaming the program changes no state.
  const auto before = host.getChunk();
  char name[] = "renamed";
  EXPECT_EQ(host.dispatch(effSetProgramName, 0, 0, name), 0);
  EXPECT_EQ(host.getChunk(), before);
}

TEST(Dispatcher, EveryParameterIsAutomatable) {
  FakeHost host;
  for (int index = -1; index < 40; ++index) {
    EXPECT_EQ(host.dispatch(effCanBeAutomated, index), 1) << "index " << index;
  }
}

TEST(Dispatcher, UnhandledOpcodesAnswerZero) {
  FakeHost host;
  // A zeroed scratch record stands in for whatever a host passes.
  alignas(16) char scratch[2048];
  std::memset(scratch, 0, sizeof(scratch));
  // Deprecated opcodes some hosts still send, the 2.x opcodes the
  // instrument leaves to the base, and numbers outside the table.
  const VstInt32 opcodes[] = {9,  16, 17, 18, 20, 21, 27, 28, 30, 31, 32, 33, 36, 37,
                              38, 39, 40, 41, 43, 44, 46, 50, 52, 53, 54, 55, 56, 57,
                              62, 63, 64, 65, 66, 67, 68, 70, 71, 72, 73, 74, 75, 76,
                              77, 78, 79, 80, 200, 0x7FFF, -1};
  for (VstInt32 opcode : opcodes) {
    std::memset(scratch, 0, sizeof(scratch));
    EXPECT_EQ(host.dispatch(opcode, 0, 0, scratch), 0) << "opcode " << opcode;
  }
  EXPECT_EQ(host.dispatch(effOpen), 0);

  // effGetSpeakerArrangement nulls both pointers and answers 0.
  void* input = scratch;
  void* output = scratch + 8;
  EXPECT_EQ(host.dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&input),
                          &output),
            0);
  EXPECT_EQ(input, nullptr);
  EXPECT_EQ(output, nullptr);
}

}  // namespace
}  // namespace vornix::test
