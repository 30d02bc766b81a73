// The voice against reference_voice.py (beside this file), an independent
// double-precision model of the voice's equations written without looking
// at the C++ code, plus values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/Tables.h"
#include "engine/Voice.h"

namespace {

// ---- Reference data (reference_voice.py output) ---------------------------
// Note 13 starts at sample 0 from the construction reset, factory sound
// parameters, direct oscillator; the gate closes at sample 1200 (44.1 kHz,
// 2000 samples) or 2600 (96 kHz, 4354 samples).
constexpr int kPick[] = {0, 1, 2, 5, 10, 50, 100, 200, 400, 700, 1000, 1199, 1200, 1201, 1500, 1999};
constexpr int kPick96[] = {0, 1, 5, 50, 200, 500, 1000, 2000, 2599, 2600, 2601, 3000, 3500, 4353};
constexpr double kSawPlain[] = {0.0018902275847158287, 0.0063996026027024555, 0.013612243888521201, 0.05017247116977442, 0.14738954757612566, 8.5038138326295522e-05, 0.13854451484904381, -0.17775647559868749, -0.043478952454414826, 0.42686166219931698, -0.055605322321933104, 0.0058342819940434545, 0.0044944568987359554, 0.0031721997955602389, -0.0066408837426537503, 0.001721902207247681};
constexpr double kSawAccent[] = {0.001992909572019952, 0.0070829946965221989, 0.015758564665745777, 0.065262508840579103, 0.22094693321448405, -0.026247169340250197, 0.34839296618583843, -0.40715691985694197, 0.0069334189585687602, 0.82556915538749009, -0.055729119651481425, 0.05061971487519186, 0.053125624972990365, 0.055196004075057065, 0.042895551158754965, 0.0032423817549404503};
constexpr double kSquarePlain[] = {-0.00074052010578143075, -0.0025084874874430696, -0.0053386389250411614, -0.019721909722155307, -0.058459707606522637, -0.0070047237880940492, -0.062726542026867685, 0.068709056592635473, -0.049954262530734782, -0.33993344904922052, 0.053209967575230242, -0.02829226698694453, -0.03407795772248292, -0.039939776662839856, -0.0078463679472301918, -0.0010656312821843736};
constexpr double kSquareAccent[] = {-0.00078079403455943552, -0.0027766787404169069, -0.0061814760009584347, -0.025673724057725101, -0.088417486231153253, -0.0063265597458507612, -0.16361460687456472, 0.16415012248844912, -0.25902429173976599, -0.75593183895588334, 0.077570257978404292, -0.30391978730347902, -0.31373639354732002, -0.32159243518232011, 0.0047621898280108864, -0.0022232529120176669};
constexpr double kSaw96k[] = {8.0063052134569444e-05, 0.00037140019919905751, 0.0054476738642631603, 0.3545563537607348, 0.081199715393003913, -0.032203478528980076, 0.010825399549908023, 0.0023163831900105975, 0.0020715616642510322, 0.0024635166358057329, 0.0028555829014964449, 0.05171142358559392, 0.0067730712739105994, 3.8090201995707849e-05};
constexpr double kSquareAccent96k[] = {-3.2121649795929649e-05, -0.00015261922525602265, -0.0024435551232768245, -0.27559806556218114, -0.12433439372334291, -0.01587457586152442, -0.16632396664112903, 0.10963635091566967, -0.0013565434162109008, -0.0064906350707406467, -0.0117901536691892, -0.078538359820225445, 0.0076484687246663324, 0.00076690799709200688};
// Square, gate open, a rest step at sample 800 (44.1 kHz, 2000 samples).
constexpr double kSquareRest[] = {-0.00074052010578143075, -0.0025084874874430696, -0.0053386389250411614, -0.019721909722155307, -0.058459707606522637, -0.0070047237880940492, -0.062726542026867685, 0.068709056592635473, -0.049954262530734782, -0.33993344904922052, -0.012536577983049337, -0.0037277472416993103, -0.0040889228109398422, -0.0044217452852856956, -0.0010669094120402298, -6.3816908046066752e-05};
// Keyboard voice: a fresh key (note 13) at 44.1 kHz, 2000 samples; the
// second and third start from a note level of 0.75 (only the square reads
// it), the third interrupts a fade whose last output was 0.3.
constexpr double kKeySaw[] = {0.0022148576099425554, 0.007575558964163065, 0.016543649137020111, 0.0670023113489151, 0.22418013215065002, -0.03929443284869194, 0.33729761838912964, -0.36178931593894958, 0.07920413464307785, 0.8482176661491394, -0.081884540617465973, 0.023091405630111694, 0.031046589836478233, 0.038676008582115173, -0.046386811882257462, 0.043214805424213409};
constexpr double kKeySquare[] = {-0.00061711127636954188, -0.0020114961080253124, -0.0042014596983790398, -0.015174567699432373, -0.044470198452472687, -0.0046409382484853268, -0.047025695443153381, 0.051547389477491379, -0.038529656827449799, -0.26033386588096619, 0.043254178017377853, -0.025129130110144615, -0.029694359749555588, -0.034287977963685989, 0.02430427260696888, -0.0036913154181092978};
constexpr double kKeySawDeclick[] = {0.29937306046485901, 0.30138802528381348, 0.30610278248786926, 0.33511173725128174, 0.41942372918128967, 0.15892261266708374, 0.16294264793395996, -0.17772914469242096, -0.043374154716730118, 0.43061396479606628, -0.062379293143749237, 0.0018145926296710968, 0.0005001601530238986, -0.00076252000872045755, -0.05430414155125618, 0.016188362613320351};
// {sum, rms}: SawPlain, SawAccent, SquarePlain, SquareAccent, Saw96k,
// SquareAccent96k, SquareRest, KeySaw, KeySquare, KeySawDeclick.
constexpr double kSums[][2] = {{-2.3028026558176853, 0.087562103910583264}, {-18.562129534110955, 0.19426147320068926}, {1.0915100009156973, 0.080350269013921255}, {4.6294145662673696, 0.20329317794142784}, {-8.1969472213631427, 0.081429875298259916}, {21.762098964752603, 0.179743423899797}, {-1.0751838436733634, 0.068053374952238385}, {-26.479062520782463, 0.23756833112871761}, {1.0297349514874554, 0.077600131462365898}, {11.588792370210285, 0.12291306547645922}};
// State after the 44.1 kHz runs (the same for saw and square):
// ampEnv, filterEnv, noteLevel, and plain / accented drift, accentLevel,
// accentEnv.
constexpr double kEndAmpEnv = 0.0016535703206378061, kEndFilterEnv = 3.6191715554619832;
constexpr double kEndNoteLevel = 0.98019857578148306;
constexpr double kEndDriftPlain = -0.016266317677371311, kEndDriftAccent = -0.28828897463704878;
constexpr double kEndAccentLevel = 0.30485000993474298, kEndAccentEnv = 1.2900071714993584;
constexpr double kEndAmpEnv96k = 3.5351754029132678e-05, kEndFilterEnv96k = 3.2171221677447113;
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

VoiceParameters factoryParameters(bool square) {
  VoiceParameters p;
  p.waveform = square ? 1.0f : 0.0f;
  return p;
}

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
  double sr;
  int n, gate, restAt;
  long double noteLevel;
  float declick;
  const int* pick;
  const double* want;
  double tol;
};

std::vector<double> render(const VoiceRun& r, VoiceState& v) {
  const VoiceParameters p = factoryParameters(r.square);
  const bool accent = r.velocity > 82;
  v.reset();
  v.m_squareWave = r.square;
  if (!r.keyboard) {
    startStep(v, kNote13, accent);
  } else {
    v.m_noteLevel = r.noteLevel;
    if (r.declick != 0.0f) {
      v.m_declickOffset = r.declick;
      v.m_declickStep = r.declick / 110.0;
    }
    v.m_phase = 0.0L;
    v.m_filterEnv = 4.0L;
    v.m_noteFreq = kNote13;
    if (accent) {
      v.m_accentLevelTarget = 0.6f;
      v.m_accentCharge = 2.0L;
    }
  }
  VoiceBlock block = voiceBlockConstants(p, v, r.sr, false);
  std::vector<double> out;
  for (int i = 0; i < r.n; ++i) {
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
      {false, false, 64, 44100.0, 2000, 1200, -1, one, 0.0f, kPick, kSawPlain, kTol},
      {false, false, 127, 44100.0, 2000, 1200, -1, one, 0.0f, kPick, kSawAccent, kTol},
      {false, true, 64, 44100.0, 2000, 1200, -1, one, 0.0f, kPick, kSquarePlain, kTol},
      {false, true, 127, 44100.0, 2000, 1200, -1, one, 0.0f, kPick, kSquareAccent, kTol},
      // 96 kHz: every rate term scaled.
      {false, false, 64, 96000.0, 4354, 2600, -1, one, 0.0f, kPick96, kSaw96k, kTol},
      {false, true, 127, 96000.0, 4354, 2600, -1, one, 0.0f, kPick96, kSquareAccent96k, kTol},
      // A rest while the gate is open: the oscillator stops (the square's
      // pre-filter then takes the silent 0 as its positive half).
      {false, true, 64, 44100.0, 2000, 2000, 800, one, 0.0f, kPick, kSquareRest, kTol},
      {true, false, 100, 44100.0, 2000, 0, -1, one, 0.0f, kPick, kKeySaw, kFloatTol},
      {true, true, 64, 44100.0, 2000, 0, -1, 0.75L, 0.0f, kPick, kKeySquare, kFloatTol},
      {true, false, 64, 44100.0, 2000, 0, -1, 0.75L, 0.3f, kPick, kKeySawDeclick, kFloatTol},
  };
  VoiceState end[10];
  for (int k = 0; k < 10; ++k) {
    const VoiceRun& r = runs[k];
    const std::vector<double> out = render(r, end[k]);
    const int count = r.pick == kPick ? 16 : 14;
    for (int j = 0; j < count; ++j) EXPECT_NEAR(out[r.pick[j]], r.want[j], r.tol) << "run " << k << " sample " << r.pick[j];
    double sum = 0.0, squares = 0.0;
    for (double x : out) {
      sum += x;
      squares += x * x;
    }
    EXPECT_NEAR(sum, kSums[k][0], r.tol * r.n) << "run " << k;
    EXPECT_NEAR(std::sqrt(squares / r.n), kSums[k][1], r.tol) << "run " << k;
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
  } ends[] = {
      {0, &V::m_ampEnv, kEndAmpEnv},           {3, &V::m_ampEnv, kEndAmpEnv},
      {0, &V::m_filterEnv, kEndFilterEnv},     {3, &V::m_filterEnv, kEndFilterEnv},
      {0, &V::m_noteLevel, kEndNoteLevel},     {0, &V::m_cutoffDrift, kEndDriftPlain},
      {0, &V::m_accentLevel, 0.0},             {1, &V::m_cutoffDrift, kEndDriftAccent},
      {1, &V::m_accentLevel, kEndAccentLevel}, {1, &V::m_accentEnv, kEndAccentEnv},
      {5, &V::m_ampEnv, kEndAmpEnv96k},        {5, &V::m_filterEnv, kEndFilterEnv96k},
      {5, &V::m_accentLevel, kEndAccentLevel96k}, {7, &V::m_ampEnv, 0.0},
      {7, &V::m_cutoffDrift, 0.0},             {8, &V::m_noteLevel, 0.75},
  };
  for (const auto& e : ends) EXPECT_NEAR(double(end[e.run].*e.field), e.value, kTol) << "run " << e.run;
  EXPECT_EQ(end[9].m_declickOffset, 0.0f);
}

TEST_F(VoiceTest, OutputDroopIsTimedInSecondsAndHeldAtHalf) {
  // 1e-5 per sample at 44.1 kHz: (1 - 1e-5)^60000 = 0.54881 after 1.36 s,
  // then held at 0.5 from 69315 samples (ln 2 / 1e-5) on.
  for (double sr : {44100.0, 96000.0}) {
    VoiceState v;
    v.reset();
    startStep(v, kNote13, false);
    const VoiceBlock block = voiceBlockConstants(factoryParameters(false), v, sr, false);
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
  for (const auto& c : cases) EXPECT_NEAR(double(cutoffCoefficient(c[0], 0.5L)), double(0.5L * c[1]), 1e-9) << double(c[0]);
}

}  // namespace
