// A minimal VST 2.4 host for the host-side tests: it loads the built plug-in
// module with dlopen, creates instances through VSTPluginMain and drives them
// only through the AEffect record and the dispatcher, as a real host does.
// Nothing here links against the instrument's code.
//
// Each FakeHost owns one instance (any number may be alive at once) and keeps
// the whole render: every block's audio appended with absolute sample times,
// and the MIDI the plug-in sent placed on the same time line. The transport
// is moved by hand between blocks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plugin/vst2abi.h"

namespace vornix::test {

// The factory bass line of pattern 0.
inline constexpr int kFactoryNotes[16] = {13, 15, 15, 14, 12, 16, 15, 14, 16, 13, 8, 16, 12, 16, 18, 12};
inline constexpr bool kFactorySlide[16] = {0, 1, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
inline constexpr bool kFactoryAccent[16] = {0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 1};

// The state chunk, built from its layout rather than taken from the
// plug-in: 3 header bytes, the 29 parameter values as little-endian floats,
// the record count at byte 119, then per pattern record its index, n,
// n × (note, slide, accent), the name length and 127 name bytes.
struct ChunkStep {
  int note, slide, accent;
};
struct ChunkImage {
  struct Record {
    uint8_t index;
    std::vector<ChunkStep> steps;
    std::string name;
  };
  std::vector<float> params;
  std::vector<Record> patterns;
  // A fresh instance: default values, 64 patterns of 16 default steps named
  // "pattern 1".., the factory line in pattern 0.
  static ChunkImage factory();
  std::vector<uint8_t> bytes() const;
};

// Text queries read a buffer pre-filled with this marker, so a query that
// writes nothing reads back as the marker.
inline const char* const kUntouched = "<untouched>";

// A MIDI message the host sends to the plug-in before a block.
struct MidiIn {
  uint8_t status, data1, data2;
  int deltaFrames = 0;
};
inline MidiIn noteOn(int key, int velocity, int channel = 0) {
  return {uint8_t(0x90 | channel), uint8_t(key), uint8_t(velocity)};
}
inline MidiIn noteOff(int key) { return {0x80, uint8_t(key), 0}; }
inline MidiIn pitchBend(int lsb, int msb) { return {0xE0, uint8_t(lsb), uint8_t(msb)}; }

// A MIDI message the plug-in sent, on the render's time line. A note-on
// with velocity 0 counts as a note-off.
struct HeardMidi {
  int64_t at;  // start of its block + deltaFrames
  int block;   // index of the block it arrived in
  int deltaFrames;
  int status, key, velocity;
  bool on() const { return (status & 0xF0) == 0x90 && velocity != 0; }
  bool off() const { return (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && velocity == 0); }
};

// A parameter change the plug-in reported as automation.
struct AutomationCall {
  int index;
  float value;
};

class FakeHost {
 public:
  // A host at a sample rate that answers audioMasterVersion with hostVersion
  // (0 is a host the plug-in must refuse).
  explicit FakeHost(float sampleRate = 44100.0f, VstIntPtr hostVersion = 2400);
  ~FakeHost() { close(); }
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  AEffect* effect() const { return m_effect; }
  bool valid() const { return m_effect != nullptr; }
  VstIntPtr close();  // effClose; forgets the record
  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  void setParameter(int index, float value) { m_effect->setParameter(m_effect, index, value); }
  float getParameter(int index) { return m_effect->getParameter(m_effect, index); }
  // Any string query into a large buffer pre-filled with kUntouched.
  std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr* answer = nullptr);
  std::string display(int index) { return text(effGetParamDisplay, index); }

  std::vector<uint8_t> getChunk(bool preset = false);
  VstIntPtr setChunk(std::vector<uint8_t> bytes, bool preset = false);  // a private copy, as hosts do

  void setSampleRate(float rate);
  void setBlockSize(int frames) { dispatch(effSetBlockSize, 0, frames); }
  void resume() { dispatch(effMainsChanged, 0, 1); }

  // Transport seen through audioMasterGetTime. play and stop flag the change
  // for the next block; relocate moves a playing transport; noTimeInfo makes
  // the host answer null.
  void play(double tempo, double ppq = 0.0);
  void start(double tempo, double ppq = 0.0) {  // resume, then play
    resume();
    play(tempo, ppq);
  }
  void stop(double tempo = 120.0);
  void relocate(double ppq);
  void noTimeInfo() { m_timeInfoAvailable = false; }
  VstTimeInfo& timeInfo() { return m_timeInfo; }

  // Hands the messages to the plug-in in one effProcessEvents call.
  void sendMidi(const std::vector<MidiIn>& messages);

  // Renders blocks through processReplacing and appends them to the
  // recording. The output buffers are pre-filled with kUnwritten so that
  // samples the plug-in forgot to write stand out.
  static constexpr float kUnwritten = 1.0e30f;
  void render(int frames, int blocks = 1, bool nullInputs = false);
  void renderFrames(int64_t frames, int blockFrames);  // cut into blocks of at most blockFrames
  const std::vector<float>& left() const { return m_left; }
  const std::vector<float>& right() const { return m_right; }
  int64_t frames() const { return static_cast<int64_t>(m_left.size()); }

  const std::vector<HeardMidi>& sentMidi() const { return m_sent; }
  const std::vector<AutomationCall>& automation() const { return m_automation; }
  std::vector<HeardMidi> noteOns() const;
  bool allKeysReleased() const;  // every note-on followed by a note-off of its key
  std::optional<HeardMidi> firstOffAfter(int key, int64_t from) const;

  // Over [from, from + length): the RMS of the left channel, the peak of
  // both (NaN when a sample is NaN).
  double rms(int64_t from, int64_t length) const;
  double peak(int64_t from, int64_t length) const;
  double peakFrom(int64_t from) const { return peak(from, frames() - from); }
  // The period in samples that maximises the normalised autocorrelation for
  // lags minLag..maxLag; keep maxLag below 2 * minLag to exclude octaves.
  double period(int64_t from, int64_t length, int minLag, int maxLag) const;

  static VstIntPtr VST_CALL callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                     void* ptr, float opt);

 private:
  void setTransport(bool playing, double tempo);

  float m_rate;
  VstIntPtr m_hostVersion;
  AEffect* m_effect = nullptr;
  bool m_timeInfoAvailable = true;
  VstTimeInfo m_timeInfo{};
  std::vector<float> m_left, m_right;
  int m_blocks = 0;
  int64_t m_blockStart = 0;
  std::vector<HeardMidi> m_sent;
  std::vector<AutomationCall> m_automation;
};

}  // namespace vornix::test
