#include "effects/Delay.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kInitialSamplesPerBeat = 22050.0;
constexpr double kInitialTempo = 120.0;
constexpr int kInitialSampleRate = 44100;
constexpr float kInitialHpCoefficient = 0.0068027f;

// Note values of the synced time, in beats: 1/32, 1/16, dotted 1/16, 1/8,
// dotted 1/8, 1/4, dotted 1/4, 1/2.
constexpr double kSyncFactors[8] = {0.125, 0.25, 0.375, 0.5, 0.75, 1.0, 1.5, 2.0};

// A rate the line can use: at least 1 Hz (anything lower truncates to 0
// and would reach the fade step's division) and small enough to fit an int.
bool usableRate(double rate) {
  return std::isfinite(rate) && rate >= 1.0 && rate <= static_cast<double>(std::numeric_limits<int>::max());
}

// Lengths are computed in double and limited before conversion, so no
// tempo, rate or time value can overflow the int.
int lengthFromBeats(double samples) {
  if (!(samples > 0.0)) return 0;
  if (samples >= Delay::kMaximumLength) return Delay::kMaximumLength;
  return static_cast<int>(samples);
}

}  // namespace

Delay::Delay(int /*maximum*/)
    : m_length(22050),
      m_feedback(0.0f),
      m_volume(0.0f),
      m_sampleRate(kInitialSampleRate),
      m_tempo(kInitialTempo),
      m_active(false),
      m_sync(false),
      m_tune(0.5f),
      m_filterMode(0),
      m_samplesPerBeat(kInitialSamplesPerBeat),
      m_timeValue(0.0f),
      m_pingPong(false),
      m_pingSide(false),
      m_pingFade(0.0f),
      m_hpCoefficient(kInitialHpCoefficient),
      m_lpCut(1.0f),
      m_timeChanged(false),
      m_hpState{0.0L, 0.0L, 0.0L},
      m_line(kLineSize) {
  m_lowPass.clear_filter();
}

void Delay::setActive(bool on) {
  // Switching on: the line is empty (cleared when it went off, silent since
  // construction), so the read head must not glide from an old length, which
  // would play the first echoes late and pitched up. The audio thread sets
  // the length directly at its next block.
  if (on && !m_active) m_switchedOn.store(true, std::memory_order_release);
  m_active = on;
  // Switching off empties the line so switching on again starts silent
  // instead of replaying stale echoes.
  if (!on) m_line.clear();
}

bool Delay::isActive() const { return m_active; }

void Delay::setVolume(float v) { m_volume = v; }

void Delay::setFeedback(float v) {
  // A non-finite feedback would poison the whole line for good.
  if (std::isfinite(v)) m_feedback = v;
}

void Delay::setTimeF(float f) {
  if (!std::isfinite(f)) return;
  const double S = m_samplesPerBeat;
  if (!m_sync) {
    m_timeValue = f;
    setTime(lengthFromBeats(std::trunc(2.0 * static_cast<double>(f) * S)));
    return;
  }
  const double k = std::trunc(7.0 * static_cast<double>(f));
  m_timeValue = static_cast<float>(k / 7.0);
  const double factor = (k >= 0.0 && k <= 7.0) ? kSyncFactors[static_cast<int>(k)] : 0.0;
  setTime(lengthFromBeats(std::trunc(factor * S)));
}

float Delay::getTimeF() const { return m_timeValue; }

void Delay::setTime(int samples) {
  m_length = std::clamp(samples, kMinimumLength, kMaximumLength);
  m_line.setNewDelayTime(m_length);
  m_timeChanged = true;
}

void Delay::setSync(bool on) {
  m_sync = on;
  setTimeF(m_timeValue);
}

void Delay::setSamplePerBeat(double tempo, double rate) {
  if (!std::isfinite(tempo) || !(tempo > 0.0) || !usableRate(rate)) return;
  const double spb = rate * 60.0 / tempo;
  if (!std::isfinite(spb)) return;
  m_samplesPerBeat = spb;
  m_sampleRate = static_cast<int>(rate);
  m_tempo = tempo;
}

void Delay::setSampleRate(float rate) {
  // Hosts have been seen to announce 0 before the real rate; keep the
  // previous rate so the fade step never divides by zero.
  if (!usableRate(rate)) return;
  m_sampleRate = static_cast<int>(rate);
  setSamplePerBeat(m_tempo, rate);
}

void Delay::update() { setTimeF(m_timeValue); }

void Delay::setTune(float t) {
  if (!std::isfinite(t)) return;
  m_tune = t;
  if (t == 0.5f) {
    m_filterMode = 0;
  } else if (t < 0.5f) {
    m_filterMode = 1;
    setLpCut(t);
  } else {
    m_filterMode = 2;
    setHpCut(2.0f * t - 1.0f);
  }
}

void Delay::setLpCut(float x) { m_lpCut = x; }

void Delay::setHpCut(float x) { m_hpCoefficient = 0.051f * x + kInitialHpCoefficient; }

void Delay::setPingPong(bool on) { m_pingPong = on; }

int Delay::getLength() const { return m_length; }

int Delay::getFilterMode() const { return m_filterMode; }

float Delay::getHpCoefficient() const { return m_hpCoefficient; }

float Delay::getLpCut() const { return m_lpCut; }

void Delay::process(float** channels, int frames) {
  if (!m_active || channels == nullptr || frames <= 0) return;
  float* left = channels[0];
  float* right = channels[1];
  if (left == nullptr || right == nullptr) return;

  // Parameters are read once per block: setters on other threads then
  // change them between blocks, never halfway through one.
  Block block;
  block.fadeStep = 50.0f / static_cast<float>(m_sampleRate);
  block.feedback = std::min(m_feedback, kFeedbackLimit);
  block.volume = m_volume;
  block.length = std::clamp(m_length, kMinimumLength, kMaximumLength);
  block.highpass = m_hpCoefficient;
  const float c = std::max(0.1f, m_lpCut);
  block.lowpassCutoff = c * c;

  if (m_switchedOn.exchange(false, std::memory_order_acquire)) m_line.setDelayTime(block.length);

  const int mode = m_filterMode;
  if (m_pingPong) {
    if (mode == 2)
      run<2, true>(block, left, right, frames);
    else if (mode == 1)
      run<1, true>(block, left, right, frames);
    else
      run<0, true>(block, left, right, frames);
  } else {
    if (mode == 2)
      run<2, false>(block, left, right, frames);
    else if (mode == 1)
      run<1, false>(block, left, right, frames);
    else
      run<0, false>(block, left, right, frames);
  }
}

template <int Mode, bool PingPong>
void Delay::run(const Block& block, float* left, float* right, int frames) {
  // The tone filter and the ping-pong state in locals for the block: the
  // outputs are floats the compiler must assume could alias them.
  CHighLifeFilter lowPass = m_lowPass;
  long double h0 = m_hpState[0], h1 = m_hpState[1], h2 = m_hpState[2];
  const long double a = block.highpass;
  bool side = m_pingSide;
  float fade = m_pingFade;
  // The ping side flips whenever the write counter reaches a multiple of
  // the length: its remainder is followed instead of divided for.
  const int size = m_line.getSize();
  int remainder = m_line.getWriteCounter() % block.length;

  // After the tone filter: into the line, the ping side, the echo out.
  auto writeAndMix = [&](float delayed, float fed, float& l, float& r) {
    // The counter runs 1..size and then starts again at 1.
    const bool wraps = m_line.getWriteCounter() == size;
    m_line.write(fed);
    remainder = wraps ? 1 % block.length : (remainder + 1 == block.length ? 0 : remainder + 1);
    if (remainder == 0) {
      side = !side;
      fade = 1.0f;
    }
    const float echo = block.volume * delayed;
    if (PingPong) {
      const float g = fade;
      if (side) {
        l += (1.0f - g) * echo;
        r += g * echo;
      } else {
        r += (1.0f - g) * echo;
        l += g * echo;
      }
    } else {
      const float y = echo + l;
      l = y;
      r = y;
    }
    fade = std::max(0.0f, fade - block.fadeStep);
  };

  if (Mode != 2) {
    for (int i = 0; i < frames; ++i) {
      const float d = m_line.read();
      float x = block.feedback * d + left[i];
      if (Mode == 1) x = lowPass.work(x, block.lowpassCutoff, 0.1f, 1);
      writeAndMix(d, x, left[i], right[i]);
    }
  } else {
    // The high-pass runs in segments no longer than the shortest delay:
    // each sample a segment reads from the line was written before it
    // began, so the segment reads all its samples, filters them in a loop
    // of its own (three extended-precision sections, a long chain that a
    // short loop overlaps from sample to sample) and then writes them, with
    // the same results as one sample at a time. (Where the write counter
    // wraps, the read heads move by a whole line length, which changes no
    // sample they read.)
    float delayed[kMinimumLength], fed[kMinimumLength];
    for (int start = 0; start < frames; start += kMinimumLength) {
      const int n = std::min(kMinimumLength, frames - start);
      for (int i = 0; i < n; ++i) {
        delayed[i] = m_line.read();
        fed[i] = block.feedback * delayed[i] + left[start + i];
      }
      for (int i = 0; i < n; ++i) {
        long double x = fed[i];
        h0 += (x - h0) * a;
        x -= h0;
        h1 += (x - h1) * a;
        x -= h1;
        h2 += (x - h2) * a;
        x -= h2;
        // Rounding to float commutes with the limit (+-1 are floats and the
        // rounding is monotonic), so the limit is taken in single precision.
        fed[i] = std::clamp(static_cast<float>(x), -1.0f, 1.0f);
      }
      for (int i = 0; i < n; ++i) writeAndMix(delayed[i], fed[i], left[start + i], right[start + i]);
    }
  }

  m_lowPass = lowPass;
  m_hpState[0] = h0;
  m_hpState[1] = h1;
  m_hpState[2] = h2;
  m_pingSide = side;
  m_pingFade = fade;
}
