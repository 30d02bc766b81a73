// What the stub instrument records, shared between it and the tests that read
// the record back through the module's stubLog() export.
#pragma once

#include "plugin/vst2abi.h"

constexpr int kStubParams = 3;
constexpr int kStubMaxBlocks = 64;
// Left is an over, which a 24-bit file must clip rather than wrap.
constexpr float kStubLeft = 1.5f;
constexpr float kStubRight = -0.25f;

struct StubBlock {
  int frames;
  VstTimeInfo time;
  int eventsBefore;  // numEvents of the effProcessEvents before this block; -1 if none came
  unsigned char firstEvent[3];
  int firstEventDelta;
  int processLevel;
};

struct StubLog {
  int blockCount;
  StubBlock blocks[kStubMaxBlocks];
};

typedef const StubLog* (*StubLogProc)();
