// Delay: the tempo-synced echo at the end of the voice chain.
//
// Mono in (the left channel), stereo out, in place. The echo is fed back
// through an optional tone control: below the middle position a resonant
// low-pass (CHighLifeFilter), above it three cascaded one-pole high-pass
// sections. The time is either free (0 to 2 beats) or one of eight note
// values from 1/32 to a half note, always measured in samples per beat of
// the clock that drives the sequencer. With ping-pong on, the echo changes
// sides every `length` samples, crossfading over 20 ms.
//
// Lengths are kept within 176 .. 131071 samples (the line holds 131072).
// Setters may run on any thread; process() runs on the audio thread and
// neither allocates nor locks.
#pragma once

#include "effects/CHighLifeFilter.h"
#include "effects/DelayBuffer.h"

class Delay {
 public:
  static constexpr int kLineSize = 131072;
  static constexpr int kMinimumLength = 176;
  static constexpr int kMaximumLength = kLineSize - 1;

  // `maximum` is accepted for the instrument's sake but not used: the line
  // always holds kLineSize samples.
  explicit Delay(int maximum);

  // Off clears the line. Switching on takes the current length at once at
  // the next block (there is nothing in the line to glide over); while the
  // delay runs, time changes glide.
  void setActive(bool on);
  bool isActive() const;
  void setVolume(float v);
  void setFeedback(float v);
  void setTimeF(float f);
  float getTimeF() const;
  void setTime(int samples);
  void setSync(bool on);
  // Ignores a tempo or rate that is 0, negative or not finite.
  void setSamplePerBeat(double tempo, double rate);
  // Ignores a rate below 1 Hz or not finite.
  void setSampleRate(float rate);
  void update();
  void setTune(float t);
  void setLpCut(float x);
  void setHpCut(float x);
  void setPingPong(bool on);
  int getLength() const;
  int getFilterMode() const;  // 0 none, 1 low-pass, 2 high-pass
  float getHpCoefficient() const;
  float getLpCut() const;
  // channels[0] left, channels[1] right, processed in place.
  void process(float** channels, int frames);

  // Further read-only views.
  float getVolume() const { return m_volume; }
  float getFeedback() const { return m_feedback; }
  int getSampleRate() const { return m_sampleRate; }
  double getTempo() const { return m_tempo; }
  double getSamplesPerBeat() const { return m_samplesPerBeat; }
  bool isSync() const { return m_sync; }
  bool isPingPong() const { return m_pingPong; }
  bool getPingSide() const { return m_pingSide; }
  float getPingFade() const { return m_pingFade; }
  float getTune() const { return m_tune; }
  const CHighLifeFilter& getLowPass() const { return m_lowPass; }
  const DelayBuffer& getLine() const { return m_line; }

  // The feedback used by process() never exceeds this.
  static constexpr float kFeedbackLimit = 92.0f;

 private:
  // What process() reads once per block.
  struct Block {
    float fadeStep, feedback, volume, lowpassCutoff;
    int length;
    long double highpass;
  };
  template <int Mode, bool PingPong>
  void run(const Block& block, float* left, float* right, int frames);

  int m_length;
  float m_feedback;
  float m_volume;
  int m_sampleRate;
  double m_tempo;
  bool m_active;
  bool m_sync;
  float m_tune;
  int m_filterMode;
  double m_samplesPerBeat;
  float m_timeValue;
  bool m_pingPong;
  bool m_pingSide;
  float m_pingFade;
  float m_hpCoefficient;
  float m_lpCut;
  bool m_timeChanged;
  std::atomic<bool> m_switchedOn{false};  // set by setActive, taken by process()
  long double m_hpState[3];
  CHighLifeFilter m_lowPass;
  DelayBuffer m_line;
};
