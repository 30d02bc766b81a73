// Bit-exact renders: every case plays the instrument for a few seconds in
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

#if defined(NDEBUG) && defined(__x86_64__) && !defined(__SANITIZE_ADDRESS__)
constexpr bool kExactBuild = true;
#else
constexpr bool kExactBuild = false;
#endif

constexpr int kBlock = 512;
constexpr double kTempo = 120.0;
constexpr double kSeconds = 4.0;
constexpr double kHostStop = 3.25;  // the host stops here: fade, then the effects' tails

VstTimeInfo g_time;

VstIntPtr VST_CALL hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&g_time);
  return 0;
}

class Fnv {
 public:
  void bytes(const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) m_hash = (m_hash ^ p[i]) * 0x100000001b3ULL;
  }
  template <class T>
  void value(T v) {
    bytes(&v, sizeof v);
  }
  void extended(long double v) { bytes(&v, 10); }  // the padding is not part of the value
  uint64_t get() const { return m_hash; }

 private:
  uint64_t m_hash = 0xcbf29ce484222325ULL;
};

void hashVoice(Fnv& h, const VoiceState& v) {
  for (long double x : {v.m_noteFreq, v.m_slideFactor, v.m_slideTargetFreq, v.m_phase, v.m_filterEnv,
                        v.m_cutoffDrift, v.m_ampEnv, v.m_noteLevel, v.m_accentCharge, v.m_accentEnv,
                        v.m_accentLevelTarget, v.m_accentLevel, v.m_preLowpass.s0, v.m_preHighpass.s0,
                        v.m_preHighpass.s1, v.m_preHighpass.s2, v.m_lp3.s0, v.m_lp3.s1, v.m_lp3.s2})
    h.extended(x);
  for (int x : {v.m_sliding, v.m_tieToNext, v.m_samplesInStep, int{v.m_noteReleased}, int{v.m_accentOn},
                int{v.m_keyReleaseFade}})
    h.value(x);
  h.value(v.m_keyFadeGain);
  h.value(v.m_declickStep);
  h.value(v.m_declickOffset);
  h.value(v.m_lastOutput);
}

// A parameter change at a time, or (index < 0) a key: note on with the
// velocity, or off with velocity 0.
struct Event {
  double at;  // seconds, applied before the block that starts there
  int index;
  float value;
};
constexpr int kKey = -1;

struct Case {
  const char* name;
  float rate;
  bool keyboard;
  std::vector<Event> events;
  uint64_t audio;
  uint64_t voice;
};

// Keyboard mode: legato glides both ways, hard keys, a release, a key that
// interrupts the release fade, and keys outside the playable range.
const std::vector<Event> kKeys = {{0.0, kSyncTypeParam, 0.9f},
                                  {0.0, kKey, 48 + 64 * 256.0f},
                                  {0.3, kKey, 55 + 100 * 256.0f},
                                  {0.7, kKey, 55},
                                  {1.1, kKey, 48},
                                  {1.105, kKey, 60 + 127 * 256.0f},
                                  {1.6, kKey, 30 + 100 * 256.0f},
                                  {1.8, kKey, 67 + 90 * 256.0f},
                                  {2.4, kKey, 67},
                                  {2.5, kKey, 60},
                                  {2.8, kKey, 36 + 64 * 256.0f},
                                  {3.3, kKey, 36}};
// The delay with ping-pong and its low-pass, a time change while it runs,
// then the high-pass.
const std::vector<Event> kDelay = {{0.0, kDelayOn, 1.0f},      {0.0, kDelayPing, 1.0f},
                                   {0.0, kDelayFilter, 0.25f}, {0.0, kDelayFeedback, 0.6f},
                                   {1.5, kDelayTime, 0.75f},   {2.5, kDelayFilter, 0.8f}};
const std::vector<Event> kSquare = {{0.0, kWaveform, 1.0f}, {0.0, kCutOff, 0.6f}};
std::vector<Event> distortion(float select) {
  return {{0.0, kDisto, 1.0f}, {0.0, kDistSel, select}, {0.0, kDistParam1, 0.7f}};
}

const Case kCases[] = {
    {"factory 44100", 44100.0f, false, {}, 0xb2aca012c26936ccULL, 0xb70edaa24af460ffULL},
    {"factory 48000", 48000.0f, false, {}, 0xf166b02a29d72216ULL, 0x5da0e9e98e0d4e0cULL},
    {"factory 96000", 96000.0f, false, {}, 0x184eee802b7fce09ULL, 0x76ad6ee5f99227a2ULL},
    {"factory 16000", 16000.0f, false, {}, 0xe5d4b9fa0470ba05ULL, 0x36fc24581a4ad683ULL},
    {"square 48000", 48000.0f, false, kSquare, 0xc53da1968856edc6ULL, 0x49362dd45af32a35ULL},
    {"keyboard 44100", 44100.0f, true, kKeys, 0x879578cc1b5f7344ULL, 0x406bc2a94377a22cULL},
    {"keyboard 48000", 48000.0f, true, kKeys, 0x3224cbead5ba1639ULL, 0x86fe285e799ae356ULL},
    {"keyboard 96000", 96000.0f, true, kKeys, 0x6e9ae75de0b7caddULL, 0xabff0bef5c0bf66bULL},
    {"overdrive 44100", 44100.0f, false, distortion(0.0f), 0xe192c4f770b44348ULL, 0xb70edaa24af460ffULL},
    {"overdrive 48000", 48000.0f, false, distortion(0.0f), 0x822efca0185347cdULL, 0x5da0e9e98e0d4e0cULL},
    {"overdrive 96000", 96000.0f, false, distortion(0.0f), 0xde07c3b1a3c7ccf1ULL, 0x76ad6ee5f99227a2ULL},
    {"clipinferno 44100", 44100.0f, false, distortion(0.25f), 0xc6026ca2fd39af4bULL, 0xb70edaa24af460ffULL},
    {"clipinferno 48000", 48000.0f, false, distortion(0.25f), 0x1dd716ddc2ab64acULL, 0x5da0e9e98e0d4e0cULL},
    {"clipinferno 96000", 96000.0f, false, distortion(0.25f), 0x89cb42df7755f534ULL, 0x76ad6ee5f99227a2ULL},
    {"hotfuzz 44100", 44100.0f, false, distortion(0.5f), 0x13a33fe0ad5d50a8ULL, 0xb70edaa24af460ffULL},
    {"hotfuzz 48000", 48000.0f, false, distortion(0.5f), 0xb50454bf83406882ULL, 0x5da0e9e98e0d4e0cULL},
    {"hotfuzz 96000", 96000.0f, false, distortion(0.5f), 0x51759d018465190cULL, 0x76ad6ee5f99227a2ULL},
    {"ultracrunch 44100", 44100.0f, false, distortion(0.75f), 0xdc08d81d8b026828ULL, 0xb70edaa24af460ffULL},
    {"ultracrunch 48000", 48000.0f, false, distortion(0.75f), 0xa964abf6119f4869ULL, 0x5da0e9e98e0d4e0cULL},
    {"ultracrunch 96000", 96000.0f, false, distortion(0.75f), 0x831f9736b475b12fULL, 0x76ad6ee5f99227a2ULL},
    {"delay 44100", 44100.0f, false, kDelay, 0xfdeb4c375f05fe49ULL, 0xb70edaa24af460ffULL},
    {"delay 48000", 48000.0f, false, kDelay, 0xa8c6b5d85e510f4dULL, 0x5da0e9e98e0d4e0cULL},
    {"delay 96000", 96000.0f, false, kDelay, 0xc0e974081bccc6efULL, 0x76ad6ee5f99227a2ULL},
};

struct Hashes {
  uint64_t audio, voice;
};

Hashes render(const Case& c) {
  std::memset(&g_time, 0, sizeof g_time);
  g_time.sampleRate = c.rate;
  g_time.tempo = kTempo;
  auto synth = std::make_unique<Tolvane>(hostCallback);
  synth->setSampleRate(c.rate);
  synth->setBlockSize(kBlock);
  synth->resume();

  std::vector<float> left(kBlock), right(kBlock);
  float* outputs[2] = {left.data(), right.data()};
  VstMidiEvent midi[4] = {};
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[4];
  } list{};
  Fnv audio, voice;
  size_t next = 0;
  const long blocks = static_cast<long>(kSeconds * c.rate / kBlock);
  for (long b = 0; b < blocks; ++b) {
    const double start = b * static_cast<double>(kBlock);
    list.numEvents = 0;
    while (next < c.events.size() && c.events[next].at * c.rate <= start) {
      const Event& e = c.events[next++];
      if (e.index >= 0) {
        synth->setParameter(e.index, e.value);
        continue;
      }
      VstMidiEvent& m = midi[list.numEvents];
      const int key = static_cast<int>(e.value) % 256, velocity = static_cast<int>(e.value) / 256;
      m.type = kVstMidiType;
      m.byteSize = sizeof m;
      m.midiData[0] = static_cast<char>(velocity > 0 ? 0x90 : 0x80);
      m.midiData[1] = static_cast<char>(key);
      m.midiData[2] = static_cast<char>(velocity);
      list.events[list.numEvents++] = reinterpret_cast<VstEvent*>(&m);
    }
    synth->processEvents(reinterpret_cast<VstEvents*>(&list));

    const bool playing = c.keyboard || start < kHostStop * c.rate;
    g_time.samplePos = start;
    g_time.ppqPos = start * kTempo / (60.0 * c.rate);
    g_time.flags = kVstPpqPosValid | kVstTempoValid | (playing ? kVstTransportPlaying : 0) |
                   (b == 0 ? kVstTransportChanged : 0);
    synth->processReplacing(nullptr, outputs, kBlock);
    audio.bytes(left.data(), sizeof(float) * kBlock);
    audio.bytes(right.data(), sizeof(float) * kBlock);
    hashVoice(voice, synth->m_engine.m_voice);
  }
  return {audio.get(), voice.get()};
}

TEST(RenderHash, EveryCaseRendersTheRecordedSamplesAndVoiceStates) {
  if (!kExactBuild) GTEST_SKIP() << "hashes belong to the optimised x86-64 build";
  const char* print = std::getenv("VORNIX_PRINT_HASHES");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Hashes h = render(c);
    if (print && *print) {
      std::printf("%-20s 0x%016llxULL, 0x%016llxULL\n", c.name, static_cast<unsigned long long>(h.audio),
                  static_cast<unsigned long long>(h.voice));
      continue;
    }
    EXPECT_EQ(h.audio, c.audio);
    EXPECT_EQ(h.voice, c.voice);
  }
}

}  // namespace
