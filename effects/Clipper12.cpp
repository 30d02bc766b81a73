#include "effects/Clipper12.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "effects/DistortionUnitParam.h"

namespace {

constexpr int kTableSize = Clipper12::kTableSize;

// The transfer curves of the two clipping elements, measured from the
// circuit; entry i is the element's output at input min + i / scale.
// clang-format off
const float kTableA[kTableSize] = {
    0.0f, -0.02970945f, -0.06001068f, -0.09091578f, -0.1224267f,  // 0
    -0.1545128f, -0.1870433f, -0.2195973f, -0.2510493f, -0.2792692f,  // 5
    -0.3022299f, -0.3197647f, -0.333093f, -0.3435023f, -0.3519095f,  // 10
    -0.3589089f, -0.3648847f, -0.3700921f, -0.3747063f, -0.3788512f,  // 15
    -0.3826171f, -0.3860716f, -0.3892664f, -0.3922418f, -0.3950299f,  // 20
    -0.3976564f, -0.4001424f, -0.4025053f, -0.4047598f, -0.4069181f,  // 25
    -0.4089908f, -0.4109868f, -0.4129141f, -0.4147793f, -0.4165886f,  // 30
    -0.4183471f, -0.4200597f, -0.4217304f, -0.4233631f, -0.4249613f,  // 35
    -0.426528f, -0.428066f, -0.4295779f, -0.4310663f, -0.4325332f,  // 40
    -0.4339807f, -0.4354108f, -0.4368252f, -0.4382258f, -0.4396141f,  // 45
    -0.4409917f, -0.4423601f, -0.4437206f, -0.4450748f, -0.4464239f,  // 50
    -0.4477693f, -0.4491123f, -0.4504542f, -0.4517964f, -0.45314f,  // 55
    -0.4544863f, -0.4558369f, -0.4571929f, -0.4585558f, -0.4599269f,  // 60
    -0.4613079f, -0.4627002f, -0.4641055f, -0.4655254f, -0.4669618f,  // 65
    -0.4684167f, -0.469892f, -0.47139f, -0.4729131f, -0.474464f,  // 70
    -0.4760454f, -0.4776606f, -0.479313f, -0.4810065f, -0.4827454f,  // 75
    -0.4845346f, -0.4863795f, -0.4882865f, -0.4902627f, -0.4923164f,  // 80
    -0.4944575f, -0.4966974f, -0.4990497f, -0.501531f, -0.5041612f,  // 85
    -0.5069654f, -0.5099749f, -0.51323f, -0.516784f, -0.5207087f,  // 90
    -0.5251053f, -0.5301217f, -0.535988f, -0.5430904f, -0.5521558f,  // 95
};
const float kTableBPositive[kTableSize] = {
    0.006030151f, 0.01809045f, 0.03015075f, 0.04221106f, 0.05427136f,  // 0
    0.06633165f, 0.07839196f, 0.09045226f, 0.1025126f, 0.1145729f,  // 5
    0.1266332f, 0.1386935f, 0.1507538f, 0.1628141f, 0.1748744f,  // 10
    0.1869347f, 0.198995f, 0.2110553f, 0.2231156f, 0.2351759f,  // 15
    0.2472362f, 0.2592965f, 0.2713568f, 0.2834171f, 0.2954774f,  // 20
    0.3075377f, 0.319598f, 0.3316582f, 0.3437185f, 0.3557788f,  // 25
    0.367839f, 0.3798992f, 0.3919593f, 0.4040194f, 0.4160793f,  // 30
    0.4281391f, 0.4401987f, 0.4522578f, 0.4643163f, 0.476374f,  // 35
    0.4884304f, 0.5004849f, 0.5125365f, 0.5245838f, 0.5366247f,  // 40
    0.5486561f, 0.5606732f, 0.5726692f, 0.5846339f, 0.5965524f,  // 45
    0.6084032f, 0.6201556f, 0.631767f, 0.6431798f, 0.6543199f,  // 50
    0.6650978f, 0.6754143f, 0.6851713f, 0.6942862f, 0.7027048f,  // 55
    0.710408f, 0.7174102f, 0.7237514f, 0.7294872f, 0.7346799f,  // 60
    0.7393917f, 0.743681f, 0.7476004f, 0.7511963f, 0.7545087f,  // 65
    0.7575722f, 0.7604163f, 0.7630664f, 0.7655439f, 0.7678678f,  // 70
    0.7700539f, 0.7721162f, 0.7740667f, 0.7759159f, 0.7776729f,  // 75
    0.7793459f, 0.780942f, 0.7824673f, 0.7839276f, 0.7853278f,  // 80
    0.7866724f, 0.7879654f, 0.7892103f, 0.7904105f, 0.7915689f,  // 85
    0.7926881f, 0.7937707f, 0.7948187f, 0.7958343f, 0.7968193f,  // 90
    0.7977754f, 0.7987043f, 0.7996073f, 0.8004858f, 0.8013412f,  // 95
};
const float kTableBNegative[kTableSize] = {
    0.006030151f, 0.01809045f, 0.03015075f, 0.04221106f, 0.05427136f,  // 0
    0.06633165f, 0.07839196f, 0.09045226f, 0.1025126f, 0.1145729f,  // 5
    0.1266332f, 0.1386935f, 0.1507538f, 0.1628141f, 0.1748744f,  // 10
    0.1869347f, 0.198995f, 0.2110553f, 0.2231156f, 0.2351759f,  // 15
    0.2472362f, 0.2592964f, 0.2713567f, 0.283417f, 0.2954772f,  // 20
    0.3075375f, 0.3195976f, 0.3316577f, 0.3437177f, 0.3557774f,  // 25
    0.3678367f, 0.3798955f, 0.3919533f, 0.4040097f, 0.4160635f,  // 30
    0.4281133f, 0.4401567f, 0.4521896f, 0.4642057f, 0.4761947f,  // 35
    0.4881403f, 0.500017f, 0.5117854f, 0.5233867f, 0.5347366f,  // 40
    0.5457225f, 0.5562086f, 0.5660515f, 0.5751293f, 0.5833668f,  // 45
    0.590749f, 0.5973144f, 0.6031362f, 0.6083028f, 0.6129032f,  // 50
    0.6170195f, 0.6207235f, 0.6240758f, 0.6271273f, 0.6299204f,  // 55
    0.6324902f, 0.6348656f, 0.6370713f, 0.6391275f, 0.6410516f,  // 60
    0.642858f, 0.6445594f, 0.6461664f, 0.6476883f, 0.649133f,  // 65
    0.6505075f, 0.651818f, 0.6530699f, 0.6542678f, 0.6554161f,  // 70
    0.6565184f, 0.6575782f, 0.6585984f, 0.6595819f, 0.660531f,  // 75
    0.661448f, 0.6623349f, 0.6631935f, 0.6640256f, 0.6648327f,  // 80
    0.665616f, 0.6663771f, 0.6671171f, 0.667837f, 0.6685379f,  // 85
    0.6692208f, 0.6698865f, 0.6705359f, 0.6711696f, 0.6717885f,  // 90
    0.6723933f, 0.6729844f, 0.6735624f, 0.6741281f, 0.6746817f,  // 95
};
// clang-format on

constexpr float kTableScale = 101.97f;
constexpr float kTableAMin = 0.0f;
constexpr float kTableBMin = 0.006f;

// Ramp factor of the three fade-in quantities, per sample.
constexpr double kRamp = 0.993;

// Pre-stage.
constexpr float kPreLimit = 0.8f;
constexpr float kPreMinimumGain = 4.0f;

// The circuit's discretised coefficients.
constexpr double kR0 = 3.91923990498812e-05;
constexpr double kRBase = 0.0593824228028504;
constexpr double kEInput = 1.095880362452828;
constexpr double kE1 = -0.14108955456562763;
constexpr double kE2 = -0.7697603331553252;
constexpr double kG0 = 0.804528311900251;
constexpr double kG1 = 0.000829239653576842;
constexpr double kJIn = 0.05350095357567101;
constexpr double kJFeedback = 0.9023598644364358;
constexpr double kKLeak = 0.9999951753867531;
constexpr double kLGain = 1.088435160816422;
constexpr double kL = 0.91874796376781;
constexpr double kFInput = 1.1846463462940695;
constexpr double kF1 = -1.6874744750945754;
constexpr double kF2 = 0.8433408300428958;
constexpr double kO02 = -9.26800656732889e-10;
constexpr double kO1 = 1.85360131346578e-09;
constexpr double kQ = 2303912060.7361693;

}  // namespace

const float* Clipper12::tableA() { return kTableA; }
const float* Clipper12::tableBPositive() { return kTableBPositive; }
const float* Clipper12::tableBNegative() { return kTableBNegative; }

Clipper12::Clipper12() : m_driveSmoother(4.0f, 44100.0f), m_settingSmoother(4.0f, 44100.0f) {}

void Clipper12::clear() {
  IIR_resetIIR(m_highpass);
  m_circuit = Circuit();
}

void Clipper12::setSamplerate(int rate) {
  if (rate < 1 || rate > INT_MAX / 4) return;
  m_rate = rate;
  m_driveSmoother.init(4.0f, static_cast<float>(4 * rate));
  m_settingSmoother.init(4.0f, static_cast<float>(4 * rate));
}

void Clipper12::setDrive(float value) { m_drive = distortion_param::sanitise(value, m_drive); }

void Clipper12::setSetting(float value) { m_setting = distortion_param::sanitise(value, m_setting); }

double Clipper12::lookup(const float* table, float min, float scale, double v) {
  const double i = (v - static_cast<double>(min)) * static_cast<double>(scale);
  // Truncation toward zero: i in (-1, 0) still interpolates from entries 0
  // and 1. The negated test also sends NaN to entry 0.
  if (!(i > -1.0)) return table[0];
  if (i >= kTableSize - 1) return table[kTableSize - 1];
  const int k = static_cast<int>(i);
  const double frac = i - k;
  return (1.0 - frac) * table[k] + frac * table[k + 1];
}

void Clipper12::process(float* buf, int count) {
  if (count < 1) return;
  processDisto12(buf, count);
  processDisto(buf, count);
}

void Clipper12::processDisto12(float* buf, int count) {
  if (count < 1) return;
  const int rate = m_oversample ? 4 * m_rate : m_rate;
  const double ratio = 44100.0 / rate;
  const float d = m_driveSmoother.process(m_drive);
  const float gain = std::max(kPreMinimumGain, static_cast<float>(d * 100.0 * 0.32));
  const long double w =
      (static_cast<double>(0.025f) * m_preCutoff + static_cast<double>(0.001700675f)) * ratio;
  for (int i = 0; i < count; ++i) {
    const float h = static_cast<float>(IIR_doIIRhigh(m_highpass, w, buf[i]));
    const float y = std::clamp(h * gain, -kPreLimit, kPreLimit);
    buf[i] = y * m_preGain;
  }
}

namespace {

// The circuit's terms that depend on the two slow ramps alone.
struct RampTerms {
  double rPrime, invR, m, rho;
};

RampTerms rampTerms(double r0, double r1) {
  const double a = kR0 * r0;
  const double r = 44100.0 * (kR0 - a) + kRBase;
  RampTerms t;
  t.rPrime = 44100.0 * (a - kR0) + kRBase;
  t.invR = 1.0 / r;  // one division serves both uses
  t.m = 0.75 * r1 + 0.5;
  t.rho = (500000.0 * r1 + 5700.0) * 0.0041454;
  return t;
}

double ramp(double value, double target) { return kRamp * value + (1.0 - kRamp) * target; }

}  // namespace

void Clipper12::processDisto(float* buf, int count) {
  if (count < 1) return;
  m_level = static_cast<float>(0.45 - 0.2 * m_setting);
  const float levelDb = static_cast<float>(32.0 * m_level - 20.0);
  const double outputLevel = std::pow(10.0, 0.05 * levelDb);
  const float setting = m_settingSmoother.process(m_setting);
  const double toneTarget = static_cast<float>(0.3 * setting);

  // The three ramps end on fixed points of their steps (a few thousand
  // samples after construction or a change of setting); from there every
  // sample would compute the same ramp terms, so they are computed once.
  const Circuit& c = m_circuit;
  if (ramp(c.r0, 1.0) == c.r0 && ramp(c.r1, toneTarget) == c.r1 && ramp(c.r2, outputLevel) == c.r2)
    runCircuit<true>(buf, count, toneTarget, outputLevel);
  else
    runCircuit<false>(buf, count, toneTarget, outputLevel);
}

template <bool Settled>
void Clipper12::runCircuit(float* buf, int count, double toneTarget, double outputLevel) {
  Circuit c = m_circuit;
  RampTerms t = rampTerms(c.r0, c.r1);
  for (int n = 0; n < count; ++n) {
    const double x = buf[n];
    if (!Settled) {
      // Component values that settle in after construction.
      c.r0 = ramp(c.r0, 1.0);
      c.r1 = ramp(c.r1, toneTarget);
      t = rampTerms(c.r0, c.r1);
    }

    // Input network and the first clipping element.
    const double e = x - kEInput * (kE1 * c.e1 + kE2 * c.e2);
    const double g = kG0 * e + kG1 * c.e1 - kG0 * c.e2;
    const double h = kEInput * g;
    const double j = kJIn * ((1.0 + t.rho) * g + (1.0 - t.rho) * c.g1) + kJFeedback * c.j1;
    const double d = j - h;
    const double ad = std::fabs(d);
    const double tA = std::fabs(lookup(kTableA, kTableAMin, kTableScale, ad / (ad + 3.0)));
    const double tSigned = d > 0.0 ? -tA : tA;
    const double k = h - tSigned + kKLeak * c.k1;

    // Tone network and the second, asymmetric element.
    const double l = kLGain * (kL * k - kL * c.k1);
    const double f = l - kFInput * (kF1 * c.f1 + kF2 * c.f2);
    const double o = kO02 * t.m * f + kO1 * t.m * c.f1 + kO02 * t.m * c.f2;
    const double q = kQ * o;
    const double v = q >= 0.0 ? lookup(kTableBPositive, kTableBMin, kTableScale, q)
                              : lookup(kTableBNegative, kTableBMin, kTableScale, -q);
    const double vSigned = q < 0.0 ? -std::fabs(v) : std::fabs(v);
    const double u = vSigned - t.rPrime * t.invR * c.u1;

    if (!Settled) c.r2 = ramp(c.r2, outputLevel);
    buf[n] = static_cast<float>((c.u1 + u) * c.r2 * t.invR * kRBase);

    c.e2 = c.e1;
    c.e1 = e;
    c.g1 = g;
    c.j1 = j;
    c.k1 = k;
    c.f2 = c.f1;
    c.f1 = f;
    c.u1 = u;
  }
  m_circuit = c;
}
