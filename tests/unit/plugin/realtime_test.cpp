// The audio thread never allocates: every block of the whole instrument, in
// every sync type, with MIDI in and out, runs under a counting replacement
// of the global allocation functions.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "plugin/Tolvane.h"

namespace {

std::atomic<long> g_allocations{0};
std::atomic<bool> g_counting{false};

void* countedAllocation(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

struct FakeTransport {
  VstTimeInfo info{};
  int eventsSent = 0;
};
FakeTransport g_transport;

VstIntPtr VST_CALL host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void* ptr, float) {
  switch (opcode) {
    case audioMasterVersion:
      return 2400;
    case audioMasterGetTime:
      return reinterpret_cast<VstIntPtr>(&g_transport.info);
    case audioMasterProcessEvents:
      g_transport.eventsSent += static_cast<VstEvents*>(ptr)->numEvents;
      return 1;
    default:
      return 0;
  }
}

struct NoteBlock {
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstEvent* events[4];
};

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
  instrument.setParameter(kDelayOn, 1.0f);
  instrument.setParameter(kDisto, 1.0f);

  std::vector<float> left(8192), right(8192);
  float* outputs[2] = {left.data(), right.data()};
  VstMidiEvent notes[2] = {};
  for (VstMidiEvent& note : notes) {
    note.type = kVstMidiType;
    note.byteSize = sizeof(VstMidiEvent);
  }
  notes[0].midiData[0] = static_cast<char>(0x90);
  notes[0].midiData[1] = 48;
  notes[0].midiData[2] = 100;
  notes[1].midiData[0] = static_cast<char>(0x80);
  notes[1].midiData[1] = 48;
  NoteBlock block{2, 0, {reinterpret_cast<VstEvent*>(&notes[0]), reinterpret_cast<VstEvent*>(&notes[1]), nullptr, nullptr}};

  g_transport.info.sampleRate = 44100.0;
  g_transport.info.tempo = 130.0;
  g_transport.info.flags = kVstTransportPlaying | kVstTransportChanged | kVstPpqPosValid | kVstTempoValid;

  const float syncTypes[] = {0.0f, 0.5f, 0.9f};
  for (float syncType : syncTypes) {
    instrument.setParameter(kSyncTypeParam, syncType);
    instrument.sequencer().internalPlay();
    instrument.setParameter(kDistSel, syncType);  // an algorithm crossfade in each
    g_allocations = 0;
    g_counting = true;
    for (int b = 0; b < 40; ++b) {
      const int frames = b == 7 ? 8192 : 512;  // one block larger than announced
      instrument.processEvents(reinterpret_cast<VstEvents*>(&block));
      instrument.processReplacing(nullptr, outputs, frames);
      g_transport.info.ppqPos += frames * 130.0 / 60.0 / 44100.0;
      g_transport.info.flags &= ~kVstTransportChanged;
    }
    g_counting = false;
    EXPECT_EQ(g_allocations.load(), 0) << "sync type value " << syncType;
  }
  EXPECT_GT(g_transport.eventsSent, 0);  // the sequencer did play notes
}
