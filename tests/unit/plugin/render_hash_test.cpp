// Bit-exact renders: each case plays the instrument for four seconds in
// 512-frame blocks and reduces the stereo output (the float bits) and the
// voice state after every block (the 80 significant bits of each extended
// value, the flags and counters) to two 64-bit FNV-1a hashes. A speed-up of
// the voice, the engine loop or the effects must leave both unchanged; a
// deliberate change of the sound updates them here, in a commit of its own
// that says why.
//
// The values belong to the optimised 64-bit build (float and double
// arithmetic in SSE, long double on the x87); elsewhere the test is skipped.
// To print fresh values: VORNIX_PRINT_HASHES=1 ./plugin_render_hash_test
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "plugin/Tolvane.h"

namespace {

VstTimeInfo g_time;

VstIntPtr VST_CALL hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  return opcode == audioMasterGetTime ? reinterpret_cast<VstIntPtr>(&g_time) : 0;
}

void fnv(uint64_t& h, const void* data, size_t size) {
  for (size_t i = 0; i < size; ++i) h = (h ^ static_cast<const unsigned char*>(data)[i]) * 0x100000001b3ULL;
}

void hashVoice(uint64_t& h, const VoiceState& v) {
  for (long double x : {v.m_noteFreq, v.m_slideFactor, v.m_slideTargetFreq, v.m_phase, v.m_filterEnv,
                        v.m_cutoffDrift, v.m_ampEnv, v.m_noteLevel, v.m_accentCharge, v.m_accentEnv,
                        v.m_accentLevelTarget, v.m_accentLevel, v.m_preLowpass.s0, v.m_preHighpass.s0,
                        v.m_preHighpass.s1, v.m_preHighpass.s2, v.m_lp3.s0, v.m_lp3.s1, v.m_lp3.s2})
    fnv(h, &x, 10);  // the padding is not part of the value
  const int n[] = {v.m_sliding, v.m_tieToNext, v.m_samplesInStep, v.m_noteReleased, v.m_accentOn,
                   v.m_keyReleaseFade};
  const double d[] = {v.m_keyFadeGain, v.m_declickStep};
  const float f[] = {v.m_declickOffset, v.m_lastOutput};
  fnv(h, n, sizeof n);
  fnv(h, d, sizeof d);
  fnv(h, f, sizeof f);
}

// Before the block starting at `at` seconds: a parameter, or (index < 0) a
// MIDI note on (velocity > 0) or off.
struct Event {
  double at;
  int index;
  float value;
  int velocity = 0;
};
constexpr int kKey = -1;

struct Case {
  const char* name;
  std::vector<Event> events;
  uint64_t hashes[3][2];  // {audio, voice} at 44.1, 48 and 96 kHz
};

std::vector<Event> distortion(float select) {
  return {{0, kDisto, 1}, {0, kDistSel, select}, {0, kDistParam1, 0.7f}};
}

// clang-format off
const Case kCases[] = {
    {"factory", {}, {{0xb2aca012c26936ccULL, 0xb70edaa24af460ffULL}, {0xf166b02a29d72216ULL, 0x5da0e9e98e0d4e0cULL}, {0x184eee802b7fce09ULL, 0x76ad6ee5f99227a2ULL}}},
    {"square", {{0, kWaveform, 1}, {0, kCutOff, 0.6f}}, {{0x6bd8da9df8e7c69dULL, 0x8b0ae0fc9c631803ULL}, {0xc53da1968856edc6ULL, 0x49362dd45af32a35ULL}, {0x7463cea9ed6bcab7ULL, 0x29d8f104b37fd514ULL}}},
    // Keyboard mode: legato glides both ways, hard keys, a release, a key
    // that interrupts the release fade, keys outside the playable range.
    {"keyboard", {{0, kSyncTypeParam, 0.9f}, {0, kKey, 48, 64}, {0.3, kKey, 55, 100}, {0.7, kKey, 55, 0}, {1.1, kKey, 48, 0},
                  {1.105, kKey, 60, 127}, {1.6, kKey, 30, 100}, {1.8, kKey, 67, 90}, {2.4, kKey, 67, 0}, {2.5, kKey, 60, 0},
                  {2.8, kKey, 36, 64}, {3.3, kKey, 36, 0}},
     {{0x879578cc1b5f7344ULL, 0x406bc2a94377a22cULL}, {0x3224cbead5ba1639ULL, 0x86fe285e799ae356ULL}, {0x6e9ae75de0b7caddULL, 0xabff0bef5c0bf66bULL}}},
    {"overdrive", distortion(0), {{0xe192c4f770b44348ULL, 0xb70edaa24af460ffULL}, {0x822efca0185347cdULL, 0x5da0e9e98e0d4e0cULL}, {0xde07c3b1a3c7ccf1ULL, 0x76ad6ee5f99227a2ULL}}},
    {"clipinferno", distortion(0.25f), {{0xc6026ca2fd39af4bULL, 0xb70edaa24af460ffULL}, {0x1dd716ddc2ab64acULL, 0x5da0e9e98e0d4e0cULL}, {0x89cb42df7755f534ULL, 0x76ad6ee5f99227a2ULL}}},
    {"hotfuzz", distortion(0.5f), {{0x13a33fe0ad5d50a8ULL, 0xb70edaa24af460ffULL}, {0xb50454bf83406882ULL, 0x5da0e9e98e0d4e0cULL}, {0x51759d018465190cULL, 0x76ad6ee5f99227a2ULL}}},
    {"ultracrunch", distortion(0.75f), {{0xdc08d81d8b026828ULL, 0xb70edaa24af460ffULL}, {0xa964abf6119f4869ULL, 0x5da0e9e98e0d4e0cULL}, {0x831f9736b475b12fULL, 0x76ad6ee5f99227a2ULL}}},
    // Ping-pong with the low-pass, a time change while it runs, then the
    // high-pass.
    {"delay", {{0, kDelayOn, 1}, {0, kDelayPing, 1}, {0, kDelayFilter, 0.25f}, {0, kDelayFeedback, 0.6f}, {1.5, kDelayTime, 0.75f}, {2.5, kDelayFilter, 0.8f}},
     {{0xfdeb4c375f05fe49ULL, 0xb70edaa24af460ffULL}, {0xa8c6b5d85e510f4dULL, 0x5da0e9e98e0d4e0cULL}, {0xc0e974081bccc6efULL, 0x76ad6ee5f99227a2ULL}}},
};
// clang-format on
// The 44100 Hz engine behind a 16 kHz host (direct oscillator, resampled).
constexpr uint64_t kFactory16k[2] = {0xe5d4b9fa0470ba05ULL, 0x36fc24581a4ad683ULL};

void render(const std::vector<Event>& events, float rate, uint64_t (&hashes)[2]) {
  std::memset(&g_time, 0, sizeof g_time);
  g_time.tempo = 120.0;
  auto synth = std::make_unique<Tolvane>(hostCallback);
  synth->setSampleRate(rate);
  synth->setBlockSize(512);
  synth->resume();
  float left[512], right[512];
  float* outputs[2] = {left, right};
  VstMidiEvent midi[4] = {};
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[4];
  } list{};
  hashes[0] = hashes[1] = 0xcbf29ce484222325ULL;
  const bool keyboard = !events.empty() && events[0].index == kSyncTypeParam;
  size_t next = 0;
  for (long b = 0; b < static_cast<long>(4.0 * rate / 512); ++b) {
    const double start = 512.0 * b;
    list.numEvents = 0;
    for (; next < events.size() && events[next].at * rate <= start; ++next) {
      const Event& e = events[next];
      if (e.index >= 0) {
        synth->setParameter(e.index, e.value);
        continue;
      }
      VstMidiEvent& m = midi[list.numEvents];
      m.type = kVstMidiType;
      m.byteSize = sizeof m;
      m.midiData[0] = static_cast<char>(e.velocity > 0 ? 0x90 : 0x80);
      m.midiData[1] = static_cast<char>(e.value);
      m.midiData[2] = static_cast<char>(e.velocity);
      list.events[list.numEvents++] = reinterpret_cast<VstEvent*>(&m);
    }
    synth->processEvents(reinterpret_cast<VstEvents*>(&list));
    // The host plays from 0 and stops at 3.25 s: fade, then the effects' tails.
    g_time.sampleRate = rate;
    g_time.samplePos = start;
    g_time.ppqPos = start * 2.0 / rate;
    g_time.flags = kVstPpqPosValid | kVstTempoValid | (keyboard || start < 3.25 * rate ? kVstTransportPlaying : 0) |
                   (b == 0 ? kVstTransportChanged : 0);
    synth->processReplacing(nullptr, outputs, 512);
    fnv(hashes[0], left, sizeof left);
    fnv(hashes[0], right, sizeof right);
    hashVoice(hashes[1], synth->m_engine.m_voice);
  }
}

TEST(RenderHash, EveryCaseRendersTheRecordedSamplesAndVoiceStates) {
#if !defined(NDEBUG) || !defined(__x86_64__) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the hashes belong to the optimised x86-64 build";
#endif
  const bool print = std::getenv("VORNIX_PRINT_HASHES") != nullptr;
  const float rates[] = {44100, 48000, 96000};
  for (const Case& c : kCases) {
    for (int r = 0; r < 3; ++r) {
      uint64_t h[2];
      render(c.events, rates[r], h);
      if (print) std::printf("%s %.0f: {0x%016llxULL, 0x%016llxULL}\n", c.name, rates[r],
                             static_cast<unsigned long long>(h[0]), static_cast<unsigned long long>(h[1]));
      EXPECT_TRUE(h[0] == c.hashes[r][0] && h[1] == c.hashes[r][1]) << c.name << " at " << rates[r];
    }
  }
  uint64_t h[2];
  render({}, 16000, h);
  if (print) std::printf("factory 16000: {0x%016llxULL, 0x%016llxULL}\n", static_cast<unsigned long long>(h[0]),
                         static_cast<unsigned long long>(h[1]));
  EXPECT_TRUE(h[0] == kFactory16k[0] && h[1] == kFactory16k[1]) << "factory at 16000";
}

}  // namespace
