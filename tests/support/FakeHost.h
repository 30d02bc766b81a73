// A minimal VST 2.4 host for the host-side tests: it loads the built plug-in
// module with dlopen, creates instances through VSTPluginMain and drives them
// only through the AEffect record and the dispatcher, exactly as a real host
// does. Nothing here links against the instrument's code.
//
// Each FakeHost owns one plug-in instance. Any number may be alive at once;
// the shared host callback finds its FakeHost through the AEffect pointer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/vst2abi.h"

namespace vornix::test {

// One MIDI message that the plug-in handed to audioMasterProcessEvents.
struct SentMidi {
  int block;        // index of the processed block it arrived in
  int deltaFrames;  // offset inside that block
  uint8_t status;
  uint8_t data1;
  uint8_t data2;
};

// One audioMasterAutomate call.
struct AutomationCall {
  int index;
  float value;
};

// Text written by the plug-in is read from a buffer pre-filled with this
// marker, so a query that writes nothing reads back as the marker.
inline const char* const kUntouched = "<untouched>";

class FakeHost {
 public:
  struct Options {
    // The answer to audioMasterVersion: 2400 for a 2.4 host, 0 for a host
    // the plug-in must refuse, 2 for some older Linux hosts.
    VstIntPtr hostVersion = 2400;
    float sampleRate = 44100.0f;
    int blockSize = 512;
    // Send effOpen, the sample rate and the block size right after creation.
    bool openAndConfigure = true;
  };

  FakeHost();
  explicit FakeHost(const Options& options);
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  // The instance's record, or null when the entry refused to create one or
  // after close().
  AEffect* effect() const { return m_effect; }
  bool valid() const { return m_effect != nullptr; }

  // Sends effClose and forgets the record; answers what the dispatcher did.
  VstIntPtr close();

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  // Parameters through the record's function pointers.
  void setParameter(int index, float value);
  float getParameter(int index);
  std::string parameterName(int index);
  std::string parameterLabel(int index);
  std::string parameterDisplay(int index);
  // Any string query (effGetEffectName, effGetParamDisplay, ...) into a
  // large buffer pre-filled with kUntouched; *answer receives the result.
  std::string queryString(VstInt32 opcode, VstInt32 index = 0, VstIntPtr* answer = nullptr);

  // State chunk: a copy of the bytes the plug-in handed out.
  std::vector<uint8_t> getChunk(bool preset = false);
  VstIntPtr setChunk(const std::vector<uint8_t>& bytes, bool preset = false);
  VstIntPtr setChunk(const uint8_t* bytes, VstIntPtr size, bool preset = false);

  // Host lifecycle calls; the host remembers the rate for its time info.
  void setSampleRate(float rate);
  void setBlockSize(int frames);
  void resume() { dispatch(effMainsChanged, 0, 1); }
  void suspend() { dispatch(effMainsChanged, 0, 0); }

  // Transport seen through audioMasterGetTime. playTransport starts the
  // host's transport at ppq 0 (transport-changed flag set for the next
  // block); stopTransport stops it; noTimeInfo makes the host answer null.
  void playTransport(double tempo);
  void stopTransport(double tempo);
  void noTimeInfo() { m_timeInfoAvailable = false; }
  VstTimeInfo& timeInfo() { return m_timeInfo; }

  // Renders one block through processReplacing into left()/right(). The
  // output buffers are pre-filled with kUnwritten so that samples the
  // plug-in forgot to write stand out. With nullInputs the host passes a
  // null input array, as some hosts do for instruments without inputs.
  static constexpr float kUnwritten = 1.0e30f;
  void process(int frames, bool nullInputs = false);
  const std::vector<float>& left() const { return m_left; }
  const std::vector<float>& right() const { return m_right; }

  // What the plug-in told the host.
  const std::vector<SentMidi>& sentMidi() const { return m_sentMidi; }
  const std::vector<AutomationCall>& automation() const { return m_automation; }
  int updateDisplayCount() const { return m_updateDisplayCount; }
  int getTimeCount() const { return m_getTimeCount; }
  int blocksProcessed() const { return m_blockCounter; }

  // The shared host callback (public so the entry can be given it).
  static VstIntPtr VST_CALL callback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                     VstIntPtr value, void* ptr, float opt);

 private:
  VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  void advanceTransport(int frames);

  Options m_options;
  AEffect* m_effect = nullptr;
  float m_sampleRate;
  int m_blockSize;
  bool m_timeInfoAvailable = true;
  VstTimeInfo m_timeInfo{};
  std::vector<float> m_left, m_right, m_silentInput;
  int m_blockCounter = 0;
  std::vector<SentMidi> m_sentMidi;
  std::vector<AutomationCall> m_automation;
  int m_updateDisplayCount = 0;
  int m_getTimeCount = 0;
};

// Helpers for reading the little-endian chunk.
float chunkFloat(const std::vector<uint8_t>& chunk, size_t offset);
void putChunkFloat(std::vector<uint8_t>& chunk, size_t offset, float value);

}  // namespace vornix::test
