// A tiny instrument module that the host tests load in place of the real one.
// It records what the host gives it (the time info and input events of
// every block) and answers with known output: constant levels on both
// channels and one note-on per block at the block's middle.
//
// Built four times: STUB_VARIANT 0 is the working instrument, 1 answers a
// record with a wrong magic, 2 answers no record, 3 exports no entry at all.
#include <cstring>

#include "StubProtocol.h"

namespace {

StubLog g_log;
StubBlock g_next{};  // the record of the next block: the events handed over before it
AEffect g_effect;
audioMasterCallback g_host = nullptr;
float g_params[kStubParams];
const char* const kNames[kStubParams] = {"Alpha", "Delay ", "Gamma"};
VstMidiEvent g_out;
struct {
  VstInt32 numEvents = 1;
  VstIntPtr reserved;
  VstEvent* events[2];
} g_outBlock;

VstIntPtr VST_CALL dispatcher(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void* ptr, float) {
  if (opcode == effGetParamName && index >= 0 && index < kStubParams) {
    std::strcpy(static_cast<char*>(ptr), kNames[index]);
  } else if (opcode == effProcessEvents) {
    const auto* events = static_cast<const VstEvents*>(ptr);
    g_next.eventsBefore = events ? events->numEvents : -1;
    if (events && events->numEvents > 0) {
      const auto* e = reinterpret_cast<const VstMidiEvent*>(events->events[0]);
      std::memcpy(g_next.firstEvent, e->midiData, 3);
      g_next.firstEventDelta = e->deltaFrames;
    }
    return 1;
  }
  return 0;
}

void VST_CALL setParameter(AEffect*, VstInt32 index, float value) {
  if (index >= 0 && index < kStubParams) g_params[index] = value;
}

float VST_CALL getParameter(AEffect*, VstInt32 index) {
  return index >= 0 && index < kStubParams ? g_params[index] : 0.0f;
}

void VST_CALL processReplacing(AEffect*, float**, float** outputs, VstInt32 frames) {
  const auto* t =
      reinterpret_cast<const VstTimeInfo*>(g_host(&g_effect, audioMasterGetTime, 0, 0x3E07, nullptr, 0.0f));
  g_next.frames = frames;
  if (t) g_next.time = *t;
  g_next.processLevel =
      static_cast<int>(g_host(&g_effect, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f));
  if (g_log.blockCount < kStubMaxBlocks) g_log.blocks[g_log.blockCount] = g_next;
  g_next.eventsBefore = -1;  // the host must call effProcessEvents again before the next block
  for (VstInt32 i = 0; i < frames; ++i) {
    outputs[0][i] = kStubLeft;
    outputs[1][i] = kStubRight;
  }
  // clang-format off
  g_out = {kVstMidiType, sizeof(VstMidiEvent), frames / 2, 0, 0, 0,
           {char(0x90), char(60 + g_log.blockCount % 12), 100, 0}, 0, 0, 0, 0};
  // clang-format on
  g_outBlock.events[0] = reinterpret_cast<VstEvent*>(&g_out);
  g_host(&g_effect, audioMasterProcessEvents, 0, 0, &g_outBlock, 0.0f);
  g_log.blockCount++;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const StubLog* stubLog() { return &g_log; }

// Variant 3 exports its entry under a name no host looks for.
#if STUB_VARIANT == 3
#define STUB_ENTRY stubEntryUnderAnotherName
#else
#define STUB_ENTRY VSTPluginMain
#endif

extern "C" __attribute__((visibility("default"))) AEffect* STUB_ENTRY(audioMasterCallback host) {
  g_log = StubLog{};
  g_host = host;
  if (STUB_VARIANT == 2) return nullptr;
  g_effect = AEffect{};
  g_effect.magic = STUB_VARIANT == 1 ? vstFourCC('P', 't', 's', 'V') : kEffectMagic;
  g_effect.dispatcher = dispatcher;
  g_effect.setParameter = setParameter;
  g_effect.getParameter = getParameter;
  g_effect.processReplacing = processReplacing;
  g_effect.numParams = kStubParams;
  g_effect.numPrograms = 1;
  g_effect.numOutputs = 2;
  g_effect.flags = effFlagsCanReplacing | effFlagsIsSynth;
  for (float& p : g_params) p = 0.0f;
  return &g_effect;
}
