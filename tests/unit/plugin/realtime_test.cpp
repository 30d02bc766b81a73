// The audio thread never allocates: every block of the whole instrument, in
// every sync type, with MIDI in and out, recording, both effects and a
// distortion crossfade, runs under a counting replacement of the global
// allocation functions.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "plugin/Tolvane.h"

namespace {

std::atomic<long> g_allocations{0};
std::atomic<bool> g_counting{false};
VstTimeInfo g_time{};
int g_eventsSent = 0;

void* countedAllocation(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

VstIntPtr VST_CALL host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&g_time);
  if (opcode == audioMasterProcessEvents) g_eventsSent += static_cast<VstEvents*>(ptr)->numEvents;
  return opcode == audioMasterProcessEvents ? 1 : 0;
}

}  // namespace

void* operator new(std::size_t size) { return countedAllocation(size); }
void* operator new[](std::size_t size) { return countedAllocation(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

TEST(Realtime, NoBlockAllocatesInAnySyncType) {
  Tolvane instrument(host);
  instrument.setSampleRate(44100.0f);
  instrument.setBlockSize(512);
  instrument.resume();
  for (int index : {kDelayOn, kDisto, kRecord}) instrument.setParameter(index, 1.0f);
  std::vector<float> left(8192), right(8192);
  float* outputs[2] = {left.data(), right.data()};
  // A key pressed and released in every block: played in keyboard mode,
  // recorded in host sync.
  VstMidiEvent notes[2] = {
      {kVstMidiType, sizeof(VstMidiEvent), 0, 0, 0, 0, {char(0x90), 48, 100, 0}, 0, 0, 0, 0},
      {kVstMidiType, sizeof(VstMidiEvent), 0, 0, 0, 0, {char(0x80), 48, 0, 0}, 0, 0, 0, 0}};
  VstEvents events{2, 0, {reinterpret_cast<VstEvent*>(&notes[0]), reinterpret_cast<VstEvent*>(&notes[1])}};
  g_time.sampleRate = 44100.0;
  g_time.tempo = 130.0;
  g_time.flags = kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid | kVstTempoValid;
  for (float syncType : {0.0f, 0.5f, 0.9f}) {
    instrument.setParameter(kSyncTypeParam, syncType);
    instrument.sequencer().internalPlay();
    instrument.setParameter(kDistSel, syncType);  // an algorithm crossfade in each
    g_allocations = 0;
    g_counting = true;
    for (int b = 0; b < 40; ++b) {
      const int frames = b == 7 ? 8192 : 512;  // one block larger than announced
      instrument.processEvents(&events);
      instrument.processReplacing(nullptr, outputs, frames);
      g_time.ppqPos += frames * 130.0 / 60.0 / 44100.0;
      g_time.flags &= ~kVstTransportChanged;
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0) << "sync type value " << syncType;
  }
  EXPECT_GT(g_eventsSent, 0);  // the sequencer did play notes
}
