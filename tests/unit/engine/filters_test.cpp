// Filter routines and waveshaper against reference_filters.py (beside this
// file), an independent double-precision model of the same equations written
// without looking at the C++ code, plus cases worked by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "engine/Filters.h"
#include "engine/Tables.h"

namespace {

// ---- Reference data (reference_filters.py output) -------------------------
// Outputs at kPick of the resonant low-pass cases (in the order of
// ResonantLowpassMatchesModel; last, the damping term m in slot s2 after
// the 256 samples) and of the high-pass on a step.
constexpr int kPick[] = {1, 5, 21, 55, 144, 255};
constexpr int kLen = 256;
constexpr double kLowpass[7][7] = {
    {0.23488397931021254, 0.089391533123617417, 0.0015699128481232714, 1.385253336963835e-07,
     -2.040703519160632e-17, -4.5853273722937895e-30, 7.6746546278151561e-31},
    {0.00074701635303543506, 0.0051852581236680861, 0.059620662557328237, 0.31788293144768059,
     0.84441612012758016, 0.30302696936824464, 0.0067556132355635163},
    {0.23369256650789968, 0.3569785322418001, -0.00084052191129536024, 0.079208833730714898,
     -0.32490480069696948, -0.32490480069696948, 0.022331528700603575},
    {0.00019455718244366826, 0.0064520630834745789, 0.23088568702187676, 0.63935281548090006,
     1.1272003202592864, 0.98080873736509533, 0.071767053485002827},
    {0.98400485204398236, 0.35640627697776645, 0.24200950004311134, -0.10444078879305638,
     -0.092172250630950664, -0.3204485035085422, 0.00029219535356791423},
    {-1.0995674658713954, -2.4106192105358493, 2.2153240016537881, 0.39513739977301315, -0.080499277044684625,
     0.95031660652533678, -0.00058181550964239411},
    {0.0057458886853109722, 0.032817392581677075, 0.17537519969631854, 0.25335959689328497,
     0.24999466795221859, 0.24999999854867702, -6.0260581978269556e-10},
};
constexpr double kHighpassStep[6] = {0.47986798955923032, 0.44122393577263996,   0.30652719027491226,
                                     0.10642704598554509, -0.089746707287797836, -0.083682933478576138};
// The model runs in double, the routines in 80-bit extended. Each sample
// costs ~25 roundings of 1.1e-16 relative on values up to ~2.5, fed back
// with a loop gain near 1 for 256 samples: at most 256 * 25 * 1.1e-16 * 2.5
// = 1.8e-12 apart (1e-13 observed). A wrong constant, operand order or
// clamp moves the output by more than 1e-6 in every case tried.
constexpr double kTol = 1e-11;

// ---- Input sequences, as in reference_filters.py --------------------------
using Seq = std::vector<double>;
Seq impulse(int n = kLen) {
  Seq v(n, 0.0);
  v[0] = 1.0;
  return v;
}
Seq saw(int period) {  // falling ramp 0.5 .. -0.5
  Seq v(kLen);
  for (int i = 0; i < kLen; ++i) v[i] = 0.5 - double(i % period) / period;
  return v;
}
Seq sine(double cyclesPerSample, double amp) {
  Seq v(kLen);
  for (int i = 0; i < kLen; ++i) v[i] = amp * std::sin(2.0 * M_PI * cyclesPerSample * i);
  return v;
}

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override { initFunTab1(); }
  // The resonant low-pass over `in` from a cleared record.
  static std::vector<long double> lp3(const Seq& in, long double c, long double r, long double f, double sr,
                                      tbiquad* out = nullptr) {
    tbiquad t;
    std::vector<long double> y;
    for (double x : in) y.push_back(brenik_IIR_IIRlp3pole(t, c, r, x, f, sr));
    if (out) *out = t;
    return y;
  }
  static void expectPicked(const std::vector<long double>& y, const double* ref, const char* what) {
    for (int k = 0; k < 6; ++k)
      EXPECT_NEAR(double(y[kPick[k]]), ref[k], kTol) << what << " sample " << kPick[k];
  }
};

TEST_F(FilterTest, HighPassMatchesModelAndLimitsItsOutput) {
  // The voice's a = 0.0068027 (about 48 Hz) on a step of 0.5.
  tbiquad t;
  std::vector<long double> y;
  for (int i = 0; i < kLen; ++i) y.push_back(IIR_doIIRhigh(t, 0.0068027f, 0.5L));
  expectPicked(y, kHighpassStep, "step 0.5");
  EXPECT_EQ(t.s3, 0.0L);  // spare slot untouched
  // By hand: a step of 3 gives 3 (1 - a)^3 = 2.94, limited to 1, while the
  // sections keep their unlimited states (the first 3 a).
  for (long double x : {3.0L, -3.0L}) {
    t = tbiquad{};
    EXPECT_EQ(IIR_doIIRhigh(t, 0.0068027f, x), x / 3) << double(x);
    EXPECT_NEAR(double(t.s0), double(x * 0.0068027f), 1e-9);
  }
}

TEST_F(FilterTest, ResonantLowpassMatchesModel) {
  struct Case {
    const char* name;
    Seq in;
    long double c, r, f;
    double sr;
    const double* ref;
  };
  const Case cases[] = {
      {"MidCutoffImpulse", impulse(), 0.2L, 0.5L, 440.0L, 44100.0, kLowpass[0]},
      // Cutoff below range (low clamp and flag), resonance above.
      {"LowClampStep", Seq(kLen, 0.5), 0.005L, 1.3L, 110.0L, 44100.0, kLowpass[1]},
      // Cutoff above range, resonance below, 96 kHz: rate factor 0.459.
      {"HighClampSaw96k", saw(37), 0.9L, -0.2L, 880.0L * 44100 / 96000, 96000.0, kLowpass[2]},
      // Low flag inside the range; at 22050 Hz q = 2 becomes 1.
      {"LowFlagSine22k", sine(0.01, 0.7), 0.03L, 0.8L, 880.0L, 22050.0, kLowpass[3]},
      // q = 1.1025 is kept, so sub-step 5 damps with (1 - X) / q.
      {"RateFactor40k", saw(91), 0.45L, 0.95L, 220.0L * 44100 / 40000, 40000.0, kLowpass[4]},
      {"FullResonanceRing", impulse(), 0.7L, 1.0L, 0.0L, 44100.0, kLowpass[5]},
      // Just under the low-flag edge; settles at DC gain 1.
      {"LowFlagEdge48k", Seq(kLen, 0.25), 0.045L, 0.3L, 261.626L * 44100 / 48000, 48000.0, kLowpass[6]},
  };
  int n = 0;
  for (const Case& c : cases) {
    tbiquad t;
    const auto y = lp3(c.in, c.c, c.r, c.f, c.sr, &t);
    expectPicked(y, c.ref, c.name);
    EXPECT_EQ(t.s0, y.back()) << c.name;
    EXPECT_NEAR(double(t.s2), kLowpass[n++][6], kTol) << c.name;
  }
}

TEST_F(FilterTest, ResonanceRings) {
  // An impulse at the top cutoff with w = 0 (model): at r = 1 the ring
  // still peaks at 0.00146638 over samples 2000..2999; at r = 0 it is gone.
  auto tailPeak = [](const std::vector<long double>& y) {
    double m = 0;
    for (size_t i = 2000; i < y.size(); ++i) m = std::max(m, std::fabs(double(y[i])));
    return m;
  };
  EXPECT_NEAR(tailPeak(lp3(impulse(3000), 0.7L, 1.0L, 0.0L, 44100.0)), 0.00146638, 1e-8);
  EXPECT_LT(tailPeak(lp3(impulse(3000), 0.7L, 0.0L, 0.0L, 44100.0)), 1e-300);
}

TEST(Waveshaper, CurveSymmetryAndLimits) {
  // Model and routine both in double: only operand order can differ. The
  // voice's reference runs cover the usual range; here the far ends.
  for (auto [x, y] :
       {std::pair{1.0, 0.76192779969990532}, {4.0, 1.0017266455520233}, {-3.0, -0.99658389471243425}})
    EXPECT_NEAR(dist_dist(x), y, 1e-15) << x;
  // Slope K1 / K6 at 0; K2 / K5 far out, even past the double range.
  EXPECT_NEAR(dist_dist(1e-9L) / 1e-9, 2.39304178773957 / 2.39707251423435, 1e-9);
  EXPECT_NEAR(dist_dist(1e200L), 0.88080249764587 / 0.876604976262445, 1e-12);
  EXPECT_NEAR(dist_dist(-1e4000L), -0.88080249764587 / 0.876604976262445, 1e-12);
}

}  // namespace
