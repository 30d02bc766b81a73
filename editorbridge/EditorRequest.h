// An editor request on its way from the bridge's timer thread to whoever
// runs it (see StateOwnership), and the instrument side that runs it.
// Requests are plain records of fixed size: queued, copied and dropped
// without allocating, so the audio thread can run them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "editorbridge/MessageCodec.h"

struct EditorRequest {
  uint8_t opcode = 0;  // the editor opcode (MIDI requests all as kEditorMidi)
  uint8_t status = 0;  // MIDI status, data1, data2
  uint8_t data1 = 0;
  uint8_t data2 = 0;
  uint8_t kind = 0;    // randomise kind, pattern edit, step field, slot action
  uint8_t target = 0;  // step index, pattern slot
  int32_t index = 0;   // parameter index, 0..28
  float value = 0.0f;  // parameter value
  int32_t number = 0;  // step value
  uint8_t textLength = 0;
  char text[kMaxNameLength] = {};  // new pattern name (not 0x00-ended)

  std::string name() const { return std::string(text, textLength); }
};

// The instrument, as the bridge sees it.
class EditorTarget {
 public:
  virtual ~EditorTarget() = default;
  // Runs one queued request. The caller owns the instrument's state; on the
  // audio thread this must not allocate, lock or do I/O.
  virtual void performEditorRequest(const EditorRequest& request) = 0;
  // Runs an export (opcode 32) or import (opcode 33) on the bridge's timer
  // thread. Reading, checking and writing the file take as long as the disk
  // does, so they run without the instrument's state: only the change an
  // import makes, or the copy an export writes, runs inside owned(), which
  // holds the state for that short moment (an audio call then would find it
  // taken and render a silent block). The path is used only as the path it is.
  using OwnedSection = std::function<void(const std::function<void()>&)>;
  virtual void performFileRequest(const EditorMessage& message, const OwnedSection& owned) = 0;
};
