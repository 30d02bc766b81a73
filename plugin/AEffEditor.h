// Base of an editor attached to the instrument. The dispatcher forwards the
// editor opcodes here when an editor exists.
#pragma once

#include "plugin/vst2abi.h"

class AEffEditor {
 public:
  virtual ~AEffEditor() = default;
  virtual bool getRect(ERect** rect) {
    *rect = nullptr;
    return false;
  }
  virtual bool open(void*) { return false; }
  virtual void close() {}
  virtual void idle() {}
  virtual bool onKeyDown(VstInt32, VstIntPtr, float) { return false; }
  virtual bool onKeyUp(VstInt32, VstIntPtr, float) { return false; }
  virtual bool setKnobMode(VstInt32) { return false; }
};
