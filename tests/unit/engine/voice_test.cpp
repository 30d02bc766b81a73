// The voice against reference_voice.py (beside this file), an independent
// double-precision model of the voice's equations written without looking
// at the C++ code, plus values worked out by hand; the note table; and the
// band-limited oscillator's measured pitch and level.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/Oscillator.h"
#include "engine/Tables.h"
#include "engine/Voice.h"

namespace {

// ---- Reference data (reference_voice.py output) ---------------------------
// Note 13 starts at sample 0 from the construction reset, factory sound
// parameters, direct oscillator. Per run: the samples at kPick (44.1 kHz) or
// kPick96 (96 kHz), in the order of the runs in MatchesReferenceModel.
constexpr int kPick[] = {50, 400, 1201, 1999};
constexpr int kPick96[] = {200, 1000, 3500, 4353};
constexpr double kSamples[9][4] = {
    {8.5038138326295522e-05, -0.043478952454414826, 0.0031721997955602389, 0.001721902207247681},
    {-0.026247169340250197, 0.0069334189585687602, 0.055196004075057065, 0.0032423817549404503},
    {-0.0070047237880940492, -0.049954262530734782, -0.039939776662839856, -0.0010656312821843736},
    {-0.0063265597458507612, -0.25902429173976599, -0.32159243518232011, -0.0022232529120176669},
    {-0.12433439372334291, -0.16632396664112903, 0.0076484687246663324, 0.00076690799709200688},
    {-0.0070047237880940492, -0.049954262530734782, -0.0044217452852856956, -6.3816908046066752e-05},
    {-0.03929443284869194, 0.07920413464307785, 0.038676008582115173, 0.043214805424213409},
    {-0.0046409382484853268, -0.038529656827449799, -0.034287977963685989, -0.0036913154181092978},
    {0.15892261266708374, -0.043374154716730118, -0.00076252000872045755, 0.016188362613320351},
};
// {sum, rms} of every sample of each run.
constexpr double kSums[][2] = {
    {-2.3028026558176853, 0.087562103910583264}, {-18.562129534110955, 0.19426147320068926},
    {1.0915100009156973, 0.080350269013921255},  {4.6294145662673696, 0.20329317794142784},
    {21.762098964752603, 0.179743423899797},     {-1.0751838436733634, 0.068053374952238385},
    {-26.479062520782463, 0.23756833112871761},  {1.0297349514874554, 0.077600131462365898},
    {11.588792370210285, 0.12291306547645922}};
// State after the 44.1 kHz runs (the same for saw and square):
// ampEnv, filterEnv, and plain / accented drift, accentLevel, accentEnv.
constexpr double kEndAmpEnv = 0.0016535703206378061, kEndFilterEnv = 3.6191715554619832;
constexpr double kEndDriftPlain = -0.016266317677371311, kEndDriftAccent = -0.28828897463704878;
constexpr double kEndAccentLevel = 0.30485000993474298, kEndAccentEnv = 1.2900071714993584;
constexpr double kEndAmpEnv96k = 3.5351754029132678e-05;
constexpr double kEndAccentLevel96k = 0.3049132911877806;

// The model runs in double, the voice in 80-bit extended with the same
// single-precision constants, so they differ by the model's double rounding:
// ~40 roundings of 1.1e-16 per sample on values of order 1, carried by
// filters whose loop gain stays below 1; the largest single term is the
// filter envelope, multiplied 4354 times: 4354 * 1.1e-16 * 4 = 2e-12
// (3e-13 observed, outputs within 1e-13). A wrong constant, operand order,
// clamp or rate scaling moves the output by more than 1e-5 in every case
// tried. The keyboard voice stores its output as float: two values that
// close can still round to neighbouring floats, one float step below 1.
constexpr double kTol = 2e-11, kFloatTol = 1.2e-7;
constexpr long double kNote13 = 261.626L;  // table frequency of note 13

// A step event starting a new note (no glide), accent drivers included.
void startStep(VoiceState& v, long double freq, bool accent) {
  v.m_slideFactor = 1.0L;
  v.m_noteFreq = freq;
  v.m_phase = 0.0L;
  v.m_filterEnv = 4.0L;
  v.m_cutoffDrift = 0.0L;
  v.m_noteLevel = 1.0L;
  v.m_noteReleased = freq == 0.0L;
  v.m_accentOn = accent;
  if (accent) {
    v.m_accentLevelTarget = 0.6f;
    v.m_accentCharge = v.m_accentEnv + 2.0L;
  }
}

// One reference run: note 13 from the construction reset, factory sound,
// direct oscillator. The sequencer voice releases from sample `gate` on
// (the engine's gate test holds from there) and a rest step may start at
// `restAt`; the keyboard voice plays a fresh key of `velocity`, starting
// from a note level left by the sequencer voice and possibly interrupting a
// fade whose last output was `declick`.
struct VoiceRun {
  bool keyboard, square;
  int velocity;  // the sequencer voice is accented from 83 up, as keys are
  double sr;     // 2000 samples at 44.1 kHz, 4354 at 96 kHz
  int gate, restAt;
  long double noteLevel;
  float declick;
  int n() const { return sr > 50000.0 ? 4354 : 2000; }
};

std::vector<double> render(const VoiceRun& r, VoiceState& v) {
  VoiceParameters p;  // the factory sound
  p.waveform = r.square ? 1.0f : 0.0f;
  v.reset();
  v.m_squareWave = r.square;
  startStep(v, kNote13, r.velocity > 82);  // a fresh key starts the same way
  if (r.keyboard) {
    v.m_noteLevel = r.noteLevel;
    v.m_declickOffset = r.declick;
    v.m_declickStep = r.declick / 110.0;
  }
  VoiceBlock block = voiceBlockConstants(p, v, r.sr, false);
  std::vector<double> out;
  for (int i = 0; i < r.n(); ++i) {
    if (i == r.restAt) {
      startStep(v, 0.0L, false);
      block = voiceBlockConstants(p, v, r.sr, false);
    }
    if (r.keyboard) {
      out.push_back(keyboardVoiceSample(v, block, 0.0f));
      continue;
    }
    const VoiceSample s = sequencerVoiceAdvance(v, block);
    if (i >= r.gate) sequencerVoiceRelease(v, s);
    out.push_back(sequencerVoiceOutput(v, block, s, 0.0f));
  }
  return out;
}

class VoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initFunTab1();
    initFunTab2();
  }
};

TEST_F(VoiceTest, MatchesReferenceModel) {
  const long double one = 1.0L;
  const VoiceRun runs[] = {
      {false, false, 64, 44100.0, 1200, -1, one, 0.0f},
      {false, false, 127, 44100.0, 1200, -1, one, 0.0f},
      {false, true, 64, 44100.0, 1200, -1, one, 0.0f},
      {false, true, 127, 44100.0, 1200, -1, one, 0.0f},
      // 96 kHz: every rate term scaled.
      {false, true, 127, 96000.0, 2600, -1, one, 0.0f},
      // A rest while the gate is open: the oscillator stops (the square's
      // pre-filter then takes the silent 0 as its positive half).
      {false, true, 64, 44100.0, 2000, 800, one, 0.0f},
      {true, false, 100, 44100.0, 0, -1, one, 0.0f},
      {true, true, 64, 44100.0, 0, -1, 0.75L, 0.0f},
      {true, false, 64, 44100.0, 0, -1, 0.75L, 0.3f},
  };
  VoiceState end[9];
  for (int k = 0; k < 9; ++k) {
    const VoiceRun& r = runs[k];
    const std::vector<double> out = render(r, end[k]);
    const int* pick = r.sr > 50000.0 ? kPick96 : kPick;
    const double tol = r.keyboard ? kFloatTol : kTol;
    for (int j = 0; j < 4; ++j)
      EXPECT_NEAR(out[pick[j]], kSamples[k][j], tol) << "run " << k << " sample " << pick[j];
    double sum = 0.0, squares = 0.0;
    for (double x : out) {
      sum += x;
      squares += x * x;
    }
    EXPECT_NEAR(sum, kSums[k][0], tol * r.n()) << "run " << k;
    EXPECT_NEAR(std::sqrt(squares / r.n()), kSums[k][1], tol) << "run " << k;
    if (r.keyboard) {
      EXPECT_EQ(double(end[k].m_lastOutput), double(float(out.back()))) << "run " << k;
    }
  }
  // The state the runs end in; the keyboard voice has no amplitude
  // envelope, drift or level droop, and its declick offset is gone after
  // 110 samples.
  using V = VoiceState;
  const struct {
    int run;
    long double V::*field;
    double value;
  } ends[] = {{0, &V::m_ampEnv, kEndAmpEnv},
              {0, &V::m_filterEnv, kEndFilterEnv},
              {0, &V::m_cutoffDrift, kEndDriftPlain},
              {1, &V::m_cutoffDrift, kEndDriftAccent},
              {1, &V::m_accentLevel, kEndAccentLevel},
              {1, &V::m_accentEnv, kEndAccentEnv},
              {4, &V::m_ampEnv, kEndAmpEnv96k},
              {4, &V::m_accentLevel, kEndAccentLevel96k},
              {6, &V::m_ampEnv, 0.0},
              {7, &V::m_noteLevel, 0.75}};
  for (const auto& e : ends) EXPECT_NEAR(double(end[e.run].*e.field), e.value, kTol) << "run " << e.run;
  EXPECT_EQ(end[8].m_declickOffset, 0.0f);
}

TEST(NoteTable, FrequenciesAndSafeLookup) {
  const double quoted[][2] = {{1, 130.813}, {13, 261.626}, {22, 440.0}, {52, 2489.016}, {60, 3951.066}};
  for (const auto& q : quoted) EXPECT_NEAR(double(noteFrequency(int(q[0]))), q[1], 1e-9) << q[0];
  // Rounding to 0.0005 Hz on values >= 130 Hz moves a semitone ratio by at
  // most 2 * 0.0005 / 130 = 7.7e-6.
  for (int i = 2; i <= 60; ++i)
    EXPECT_NEAR(double(cNoteFreq[i] / cNoteFreq[i - 1]), std::pow(2.0, 1.0 / 12.0), 7.7e-6) << i;
  for (int bad : {0, -1, 61, std::numeric_limits<int>::min()}) EXPECT_EQ(noteFrequency(bad), 0.0L) << bad;
}

TEST_F(VoiceTest, OutputDroopIsTimedInSecondsAndHeldAtHalf) {
  // 1e-5 per sample at 44.1 kHz: (1 - 1e-5)^60000 = 0.54881 after 1.36 s,
  // then held at 0.5 from 69315 samples (ln 2 / 1e-5) on.
  for (double sr : {44100.0, 96000.0}) {
    VoiceState v;
    v.reset();
    startStep(v, kNote13, false);
    const VoiceBlock block = voiceBlockConstants(VoiceParameters(), v, sr, false);
    const int n = int(sr / 44100.0 * 60000.0);
    for (int i = 0; i < n; ++i) sequencerVoiceAdvance(v, block);
    EXPECT_NEAR(double(v.m_noteLevel), 0.54881, 2e-4) << sr;
    for (int i = 0; i < n / 2; ++i) sequencerVoiceAdvance(v, block);
    EXPECT_EQ(double(v.m_noteLevel), 0.5) << sr;
  }
}

TEST_F(VoiceTest, CutoffCoefficientStaysInsideItsTable) {
  // 2^octaves times the cutoff base, read at (octaves + 8) * 32 and held at
  // the table's ends (2^-8 and 2^8) for anything outside, NaN included.
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const long double cases[][2] = {{-8.0L, 1.0L / 256}, {-30.0L, 1.0L / 256}, {nan, 1.0L / 256}, {0.0L, 1.0L},
                                  {-1.0L, 0.5L},       {8.0L, 256.0L},       {1e9L, 256.0L}};
  for (const auto& c : cases)
    EXPECT_NEAR(double(cutoffCoefficient(c[0], 0.5L)), double(0.5L * c[1]), 1e-9) << double(c[0]);
}

// The band-limited oscillator plays the note the voice asks for: a quarter
// of the table frequency times 2^(2 tuning - 1), whatever the rate, the
// waveform and the octave of the mip-map level it reads.
TEST(BandLimitedOscillator, FundamentalFollowsNoteTuningAndRate) {
  struct Case {
    int note;
    float tuning;
    double rate;
  };
  // Middle, top and bottom of the keyboard, the tuning extremes, and rates
  // from 44.1 to 192 kHz; the last four ask for a table step below one
  // half (more than an octave under the table's natural pitch, 3.5 octaves
  // at 192 kHz); note 25 sits on the pyramid's level 1.
  const Case cases[] = {{13, 0.5f, 44100.0}, {25, 0.5f, 48000.0}, {37, 0.25f, 96000.0},
                        {60, 1.0f, 44100.0}, {60, 0.0f, 48000.0}, {1, 0.0f, 44100.0},
                        {10, 0.0f, 96000.0}, {1, 0.5f, 96000.0},  {1, 0.0f, 192000.0}};
  Oscillator osc;
  for (bool square : {false, true}) {
    osc.setWaveform(square);
    for (const Case& c : cases) {
      // Two seconds as the engine renders them: blocks of 512, chunks of 32.
      const double expected = double(cNoteFreq[c.note]) / 4.0 * std::exp2(2.0 * c.tuning - 1.0);
      std::vector<float> x;
      osc.restart();
      while (x.size() < size_t(2.0 * c.rate)) {
        osc.beginBlock();
        for (int i = 0; i < 512; i += Oscillator::kChunk) {
          osc.processResampler2(Oscillator::kChunk, cNoteFreq[c.note], c.tuning, c.rate);
          for (int j = i; j < i + Oscillator::kChunk; ++j) x.push_back(osc.sample(j));
        }
      }
      // Both waves cross zero upwards once a cycle: the mean period between
      // the first and last crossing (interpolated) gives the frequency.
      double first = -1.0, last = -1.0, sum2 = 0.0;
      int cycles = -1;
      for (size_t i = 1; i < x.size(); ++i) {
        sum2 += double(x[i]) * x[i];
        if (i < 512 || !(x[i - 1] < 0.0f && x[i] >= 0.0f)) continue;
        last = double(i - 1) + x[i - 1] / double(x[i - 1] - x[i]);
        first = first < 0.0 ? last : first;
        ++cycles;
      }
      const double cents = 1200.0 * std::log2(cycles / (last - first) * c.rate / expected);
      EXPECT_NEAR(cents, 0.0, 0.5) << (square ? "square" : "saw") << " note " << c.note << " tuning "
                                   << c.tuning << " at " << c.rate << " Hz (" << expected << " Hz)";
      // Harmonic n of the saw (-1 to 1) has amplitude 2 / (pi n), so those
      // below 0.45 of the rate give RMS^2 = 2 / pi^2 * sum 1/n^2; a wrong
      // gain on either path of the player shows here. The square is a tone too.
      double expected2 = 0.0;
      for (int h = 1; h * expected < 0.45 * c.rate; ++h) expected2 += 2.0 / (M_PI * M_PI) / (double(h) * h);
      const double rms = std::sqrt(sum2 / double(x.size()));
      EXPECT_NEAR(rms, square ? 0.6 : std::sqrt(expected2), square ? 0.3 : 0.005)
          << c.note << " at " << c.rate;
    }
  }
  // Below 22050 Hz the oscillator renders nothing.
  osc.beginBlock();
  osc.processResampler2(32, cNoteFreq[13], 0.5f, 16000.0);
  EXPECT_EQ(osc.written(), 0);
}

}  // namespace
