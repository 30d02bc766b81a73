// The voice against reference_voice.py (beside this file), an independent
// double-precision model of the voice's equations written without looking
// at the C++ code, plus behaviour checked from first principles: rests,
// accent, the cutoff table's range and how envelope times follow the rate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/Engine.h"
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
constexpr double kSaw96k[] = {8.0063052134569444e-05, 0.00037140019919905751, 0.0054476738642631603, 0.3545563537607348, 0.081199715393003913, -0.032203478528980076, 0.010825399549908023, 0.0023163831900105975, 0.0020715616642510322, 0.0024635166358057329, 0.0028555969385320261, 0.11230817035404114, 0.013326092345347481, 0.00018314581316911766};
constexpr double kSquareAccent96k[] = {-3.2121649795929649e-05, -0.00015261922525602265, -0.0024435551232768245, -0.27559806556218114, -0.12433439372334291, -0.01587457586152442, -0.16632396664112903, 0.10963635091566967, -0.0013565434162109008, -0.0064906350707406467, -0.011790601471534285, -0.19183700732352488, 0.0041724033053812011, 0.0011481515666617397};
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
constexpr double kSums[][2] = {{-2.3028026558176853, 0.087562103910583264}, {-18.562129534110955, 0.19426147320068926}, {1.0915100009156973, 0.080350269013921255}, {4.6294145662673696, 0.20329317794142784}, {-5.4590158076526638, 0.082496008584588401}, {12.989328879466719, 0.18139949099975022}, {-1.0751838436733634, 0.068053374952238385}, {-26.479062520782463, 0.23756833112871761}, {1.0297349514874554, 0.077600131462365898}, {11.588792370210285, 0.12291306547645922}};
// State after the 44.1 kHz runs (the same for saw and square):
// ampEnv, filterEnv, noteLevel, and plain / accented drift, accentLevel,
// accentEnv.
constexpr double kEndAmpEnv = 0.0016535703206378061, kEndFilterEnv = 3.6191715554619832;
constexpr double kEndNoteLevel = 0.98019857578148306;
constexpr double kEndDriftPlain = -0.016266317677371311, kEndDriftAccent = -0.28828897463704878;
constexpr double kEndAccentLevel = 0.30485000993474298, kEndAccentEnv = 1.2900071714993584;
constexpr double kEndAmpEnv96k = 0.0015833674423525318, kEndFilterEnv96k = 3.2171221677447113;
constexpr double kEndAccentLevel96k = 0.3049132911877806;

// The model runs in double, the voice in 80-bit extended with the same
// single-precision constants, so they differ by the model's double rounding:
// ~40 roundings of 1.1e-16 per sample on values of order 1, carried by
// filters whose loop gain stays below 1; the largest single term is the
// filter envelope, multiplied 4354 times: 4354 * 1.1e-16 * 4 = 2e-12
// (3e-13 observed, outputs within 1e-13). A wrong constant, operand order,
// clamp or rate scaling moves the output by more than 1e-5 in every case
// tried.
constexpr double kTol = 2e-11;
// The keyboard voice stores its output as float: two values that close can
// still round to neighbouring floats, one float step below 1 (6e-8).
constexpr double kFloatTol = 1.2e-7;

constexpr double kNote13 = 261.626;  // table frequency of note 13

VoiceParameters factoryParameters(bool square) {
  VoiceParameters p;
  p.waveform = square ? 1.0f : 0.0f;
  p.tuning = 0.5f;
  p.cutoff = 0.09375f;
  p.resonance = 0.919375f;
  p.envMod = 0.170625f;
  p.decay = 0.9f;
  p.accent = 0.304375f;
  p.antialias = 1.0f;
  return p;
}

// A step event starting a new note (no glide), accent drivers included.
void startStep(VoiceState& v, long double freq, bool accent) {
  v.m_sliding = 0;
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
    if (v.m_accentEnv > 2.0L) {
      v.m_accentEnv = 2.0L;
      v.m_accentCharge = 4.0L;
    } else {
      v.m_accentCharge = v.m_accentEnv + 2.0L;
    }
  }
}

struct Render {
  std::vector<double> out;
  VoiceState end;
};

// The sequencer voice as the engine drives it, gate test included: from
// sample `gate` on the gate condition holds and releases every sample.
Render runSequencer(const VoiceParameters& p, bool accent, double sr, int n, int gate) {
  Render run;
  run.end.reset();
  startStep(run.end, kNote13, accent);
  run.end.m_squareWave = p.waveform != 0.0f;
  const VoiceBlock block = voiceBlockConstants(p, run.end, sr, false);
  for (int i = 0; i < n; ++i) {
    const VoiceSample s = sequencerVoiceAdvance(run.end, block);
    if (i >= gate) sequencerVoiceRelease(run.end, s);
    run.out.push_back(sequencerVoiceOutput(run.end, block, s, 0.0f));
  }
  return run;
}

Render runKeyboard(const VoiceParameters& p, int velocity, int n, float declick, long double noteLevel) {
  Render run;
  VoiceState& v = run.end;
  v.reset();
  v.m_noteLevel = noteLevel;  // as the sequencer voice left it
  v.m_squareWave = p.waveform != 0.0f;
  if (declick != 0.0f) {  // the key interrupted a fade that ended at `declick`
    v.m_declickOffset = declick;
    v.m_declickStep = declick / 110.0;
  }
  v.m_phase = 0.0L;
  v.m_filterEnv = 4.0L;
  v.m_noteFreq = kNote13;
  if (velocity > 82) {
    v.m_accentLevelTarget = 0.6f;
    v.m_accentCharge = std::min(v.m_accentEnv + 2.0L, 5.0L);
  }
  v.m_keyFadeGain = 1.0;
  const VoiceBlock block = voiceBlockConstants(p, v, 44100.0, false);
  for (int i = 0; i < n; ++i) run.out.push_back(keyboardVoiceSample(v, block, 0.0f));
  return run;
}

void expectMatches(const Render& run, const int* pick, const double* want, int count, const double* sums,
                   double tol, const char* what) {
  for (int k = 0; k < count; ++k)
    EXPECT_NEAR(run.out[pick[k]], want[k], tol) << what << " sample " << pick[k];
  double sum = 0.0, squares = 0.0;
  for (double x : run.out) {
    sum += x;
    squares += x * x;
  }
  const double n = double(run.out.size());
  EXPECT_NEAR(sum, sums[0], tol * n) << what << " sum";
  EXPECT_NEAR(std::sqrt(squares / n), sums[1], tol) << what << " rms";
}

template <typename T>
double rms(const std::vector<T>& v, int from, int to) {
  double s = 0.0;
  for (int i = from; i < to; ++i) s += double(v[i]) * double(v[i]);
  return std::sqrt(s / (to - from));
}

// The resonance the resonant low-pass was last given, read back from its
// state (44.1 kHz, so its rate factor q is 1): the last damping term
// m = -g v (slot s2) and the velocity after it, s1 = v + m c, give the
// damping g = 1 - X, and X = 1.01 (T (0.42 w + 0.023) + r (0.965 - 0.975 w))
// (times 2c + 0.9 below c = 0.05) gives r. T is the resonance curve at 64 c.
long double resonanceFromState(const tbiquad& t, long double c, long double noteFreq) {
  const long double v = t.s1 - t.s2 * c;
  long double x = 1.0L + t.s2 / v;
  if (c < 0.05f) x /= 2.0L * c + 0.9f;
  const long double x64 = 64.0L * c;
  const int j = int(x64);
  const long double curve = funTab1[j] + (x64 - j) * (funTab1[j + 1] - funTab1[j]);
  const long double w = noteFreq / 44100.0L;
  return (x / 1.01f - curve * (0.42f * w + 0.023f)) / (0.965f - 0.975f * w);
}

// The waveshaper's input for an output y (|y| < 0.96, where it is
// monotonic), by bisection.
double unshape(double y) {
  double lo = 0.0, hi = 2.0;
  for (int i = 0; i < 60; ++i) {
    const double mid = 0.5 * (lo + hi);
    (dist_dist(mid) < std::fabs(y) ? lo : hi) = mid;
  }
  return std::copysign(0.5 * (lo + hi), y);
}

// resoAmt of the block: 0.25 at Resonance 0 to 1.0 at 1.
long double resonanceAmount(float resonance) {
  return (std::sin(resonance * 1.5707963265L) * 75.0L + 25.0L) / 100.0L;
}

// A host that plays from beat 0 at a fixed tempo.
class PlayingHost : public EngineHost {
 public:
  bool engineTransport(TransportInfo& info) override {
    info.sampleRate = rate;
    info.ppq = ppq;
    info.tempo = tempo;
    info.tempoValid = info.ppqValid = true;
    info.playing = true;
    info.changed = first;
    first = false;
    return true;
  }
  void engineSendMidi(const OutgoingMidi*, int) override {}
  double rate = 44100.0, tempo = 120.0, ppq = 0.0;
  bool first = true;
};

// The engine with its sequencer, rendering in blocks while the host plays.
struct EngineRig {
  Sequencer seq;
  PatternEditor editor{seq};
  PatternRecorder recorder;
  PlayingHost host;
  Engine engine{seq, editor, recorder, host};
  EngineParameters parameters;

  EngineRig() { parameters.voice = factoryParameters(false); }
  Pattern& pattern() { return *seq.getCurrentPattern(); }
  // Renders `block` samples and calls `each` after it.
  template <typename F>
  void render(int total, int block, std::vector<float>& out, F each) {
    std::vector<float> left(block), right(block);
    for (int done = 0; done < total; done += block) {
      const int n = std::min(block, total - done);
      engine.processKrennet(left.data(), right.data(), n, host.rate, parameters);
      host.ppq += n * host.tempo / (60.0 * host.rate);
      out.insert(out.end(), left.begin(), left.begin() + n);
      each();
    }
  }
};

class VoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    initFunTab1();
    initFunTab2();
  }
};

TEST_F(VoiceTest, SequencerVoiceMatchesReferenceModel) {
  const Render sawPlain = runSequencer(factoryParameters(false), false, 44100.0, 2000, 1200);
  const Render sawAccent = runSequencer(factoryParameters(false), true, 44100.0, 2000, 1200);
  const Render squarePlain = runSequencer(factoryParameters(true), false, 44100.0, 2000, 1200);
  const Render squareAccent = runSequencer(factoryParameters(true), true, 44100.0, 2000, 1200);
  expectMatches(sawPlain, kPick, kSawPlain, 16, kSums[0], kTol, "saw");
  expectMatches(sawAccent, kPick, kSawAccent, 16, kSums[1], kTol, "saw accented");
  expectMatches(squarePlain, kPick, kSquarePlain, 16, kSums[2], kTol, "square");
  expectMatches(squareAccent, kPick, kSquareAccent, 16, kSums[3], kTol, "square accented");

  for (const Render* r : {&sawPlain, &squareAccent}) {
    EXPECT_NEAR(double(r->end.m_ampEnv), kEndAmpEnv, kTol);
    EXPECT_NEAR(double(r->end.m_filterEnv), kEndFilterEnv, kTol);
    EXPECT_NEAR(double(r->end.m_noteLevel), kEndNoteLevel, kTol);
    EXPECT_TRUE(r->end.m_noteReleased);
  }
  EXPECT_NEAR(double(sawPlain.end.m_cutoffDrift), kEndDriftPlain, kTol);
  EXPECT_EQ(double(sawPlain.end.m_accentLevel), 0.0);
  EXPECT_NEAR(double(sawAccent.end.m_cutoffDrift), kEndDriftAccent, kTol);
  EXPECT_NEAR(double(sawAccent.end.m_accentLevel), kEndAccentLevel, kTol);
  EXPECT_NEAR(double(sawAccent.end.m_accentEnv), kEndAccentEnv, kTol);

  // 96 kHz with the direct oscillator: every rate term scaled.
  const Render saw96 = runSequencer(factoryParameters(false), false, 96000.0, 4354, 2600);
  const Render square96 = runSequencer(factoryParameters(true), true, 96000.0, 4354, 2600);
  expectMatches(saw96, kPick96, kSaw96k, 14, kSums[4], kTol, "saw 96k");
  expectMatches(square96, kPick96, kSquareAccent96k, 14, kSums[5], kTol, "square accented 96k");
  EXPECT_NEAR(double(square96.end.m_ampEnv), kEndAmpEnv96k, kTol);
  EXPECT_NEAR(double(square96.end.m_filterEnv), kEndFilterEnv96k, kTol);
  EXPECT_NEAR(double(square96.end.m_accentLevel), kEndAccentLevel96k, kTol);

  // A rest step while the gate is open: the oscillator stops (the square's
  // pre-filter then treats the silent 0 as its positive half) and the
  // envelope releases.
  Render rest;
  rest.end.reset();
  startStep(rest.end, kNote13, false);
  const VoiceParameters square = factoryParameters(true);
  VoiceBlock block = voiceBlockConstants(square, rest.end, 44100.0, false);
  for (int i = 0; i < 2000; ++i) {
    if (i == 800) {
      startStep(rest.end, 0.0L, false);
      block = voiceBlockConstants(square, rest.end, 44100.0, false);
    }
    const VoiceSample s = sequencerVoiceAdvance(rest.end, block);
    rest.out.push_back(sequencerVoiceOutput(rest.end, block, s, 0.0f));
  }
  expectMatches(rest, kPick, kSquareRest, 16, kSums[6], kTol, "square rest");
}

TEST_F(VoiceTest, KeyboardVoiceMatchesReferenceModel) {
  const Render saw = runKeyboard(factoryParameters(false), 100, 2000, 0.0f, 1.0L);
  const Render square = runKeyboard(factoryParameters(true), 64, 2000, 0.0f, 0.75L);
  const Render declick = runKeyboard(factoryParameters(false), 64, 2000, 0.3f, 0.75L);
  expectMatches(saw, kPick, kKeySaw, 16, kSums[7], kFloatTol, "key saw accented");
  expectMatches(square, kPick, kKeySquare, 16, kSums[8], kFloatTol, "key square");
  expectMatches(declick, kPick, kKeySawDeclick, 16, kSums[9], kFloatTol, "key saw declick");
  // The output is remembered for the next interruption; the offset is gone
  // after its 110 samples.
  EXPECT_EQ(double(declick.end.m_lastOutput), double(float(declick.out.back())));
  EXPECT_EQ(declick.end.m_declickOffset, 0.0f);
  // The keyboard voice has no amplitude envelope, drift or level droop.
  EXPECT_EQ(double(saw.end.m_ampEnv), 0.0);
  EXPECT_EQ(double(saw.end.m_cutoffDrift), 0.0);
  EXPECT_EQ(double(square.end.m_noteLevel), 0.75);
}

TEST_F(VoiceTest, RestReleasesAndRingsOut) {
  // Voice alone: a note held with the gate open, then a rest step.
  const VoiceParameters p = factoryParameters(false);
  VoiceState v;
  v.reset();
  startStep(v, kNote13, false);
  VoiceBlock block = voiceBlockConstants(p, v, 44100.0, false);
  std::vector<double> out;
  for (int i = 0; i < 1500; ++i) {
    const VoiceSample s = sequencerVoiceAdvance(v, block);
    out.push_back(sequencerVoiceOutput(v, block, s, 0.0f));
  }
  EXPECT_NEAR(double(v.m_ampEnv), 1.0, 1e-12);  // attack 0.9 per sample: at 1 long since
  startStep(v, 0.0L, false);
  block = voiceBlockConstants(p, v, 44100.0, false);
  const long double ampAtRest = v.m_ampEnv;
  for (int i = 0; i < 6000; ++i) {
    const VoiceSample s = sequencerVoiceAdvance(v, block);
    EXPECT_EQ(double(s.noteActive), 0.0);
    out.push_back(sequencerVoiceOutput(v, block, s, 0.0f));
    if (i == 249) {  // released at 0.004 per sample: (1 - 0.004)^250 = 0.3671
      EXPECT_NEAR(double(v.m_ampEnv / ampAtRest), 0.36714, 1e-5);
    }
  }
  EXPECT_TRUE(v.m_noteReleased);
  // The filter rings on after the oscillator stops rather than cutting off...
  const double before = rms(out, 1300, 1500);
  EXPECT_GT(rms(out, 1500, 1550), 0.1 * before);
  // ...and dies away: every 1000 samples quieter, silent at the end.
  for (int w = 1500; w + 2000 <= 7500; w += 1000) EXPECT_LT(rms(out, w + 1000, w + 2000), rms(out, w, w + 1000));
  EXPECT_LT(rms(out, 7000, 7500), 1e-4 * before);

  // The engine: note 13 then rests. The rest step sends no note, silences
  // the pitch, keeps the voice released, and the output dies away.
  EngineRig rig;
  rig.pattern().setStepNote(13, 0);
  for (int i = 1; i < 16; ++i) rig.pattern().setStepNote(0, i);
  std::vector<float> eng;
  rig.render(5512 * 3, 512, eng, [] {});
  EXPECT_EQ(double(rig.engine.m_voice.m_noteFreq), 0.0);
  EXPECT_TRUE(rig.engine.m_voice.m_noteReleased);
  const double sounding = rms(eng, 0, 2000);
  EXPECT_GT(sounding, 0.02);
  EXPECT_LT(rms(eng, 5600, 6600), 0.05 * sounding);
  EXPECT_LT(rms(eng, 15536, 16536), 1e-4 * sounding);
}

TEST_F(VoiceTest, AccentRaisesResonanceAndLoudness) {
  // Default Accent: the accented note is louder and the filter gets more
  // resonance, by exactly 0.04 * accentLevel * accK (times 1.1 and the
  // saw's 0.9).
  const VoiceParameters p = factoryParameters(false);
  long double resonance[2] = {};
  for (bool accent : {false, true}) {
    VoiceState v;
    v.reset();
    startStep(v, kNote13, accent);
    const VoiceBlock block = voiceBlockConstants(p, v, 44100.0, false);
    long double best = 0.0L, measured = 0.0L, level = 0.0L;
    for (int i = 0; i < 800; ++i) {
      const VoiceSample s = sequencerVoiceAdvance(v, block);
      sequencerVoiceOutput(v, block, s, 0.0f);
      const long double vel = std::fabs(v.m_lp3.s1 - v.m_lp3.s2 * s.cutCoef);
      if (i > 100 && vel > best) {  // read where the velocity is largest
        ASSERT_GT(s.cutCoef, 0.01L);
        best = vel;
        measured = resonanceFromState(v.m_lp3, s.cutCoef, v.m_noteFreq);
        level = v.m_accentLevel;
      }
    }
    const long double accK = 0.65f * p.accent;
    const long double expected = 0.9f * 1.1f * (resonanceAmount(p.resonance) + 0.04f * level * accK);
    EXPECT_NEAR(double(measured), double(expected), 1e-7) << "accent " << accent;
    resonance[accent] = measured;
    if (accent) {
      EXPECT_GT(double(level), 0.45);
    }
  }
  // 0.99 * 0.04 * ~0.5 * accK (0.198) = 0.0039 more with the accent.
  EXPECT_GT(double(resonance[1] - resonance[0]), 0.0035);
  const Render plain = runSequencer(p, false, 44100.0, 2000, 1200);
  const Render accented = runSequencer(p, true, 44100.0, 2000, 1200);
  EXPECT_GT(rms(accented.out, 0, 1200), 1.8 * rms(plain.out, 0, 1200));

  // Accent 0: the circuits still run but touch neither cutoff nor
  // resonance; only the loudness 1 + 3 accentLevel and the accented drift
  // differ. Early on the drifts are nearly equal, so before the waveshaper
  // the accented output is the plain one times that factor.
  VoiceParameters zero = p;
  zero.accent = 0.0f;
  VoiceState a, b;
  a.reset();
  b.reset();
  startStep(a, kNote13, false);
  startStep(b, kNote13, true);
  const VoiceBlock block = voiceBlockConstants(zero, a, 44100.0, false);
  double sumPlain = 0.0, sumScaled = 0.0;
  for (int i = 0; i < 120; ++i) {
    const VoiceSample sa = sequencerVoiceAdvance(a, block);
    const VoiceSample sb = sequencerVoiceAdvance(b, block);
    // C differs only by the drift: the coefficients by 2^(drift difference).
    EXPECT_NEAR(double(sb.cutCoef / sa.cutCoef), std::exp2(double(b.m_cutoffDrift - a.m_cutoffDrift)), 1.2e-4);
    const double oa = sequencerVoiceOutput(a, block, sa, 0.0f);
    const double ob = sequencerVoiceOutput(b, block, sb, 0.0f);
    if (i >= 20) {
      EXPECT_NEAR(double(resonanceFromState(b.m_lp3, sb.cutCoef, kNote13)),
                  double(resonanceFromState(a.m_lp3, sa.cutCoef, kNote13)), 1e-6);
      sumPlain += std::fabs(unshape(oa)) * (1.0 + 3.0 * double(b.m_accentLevel));
      sumScaled += std::fabs(unshape(ob));
    }
  }
  EXPECT_GT(double(b.m_accentLevel), 0.5);
  EXPECT_EQ(double(a.m_accentLevel), 0.0);
  EXPECT_NEAR(sumScaled / sumPlain, 1.0, 0.02);
}

TEST_F(VoiceTest, CutoffIndexStaysInsideTable) {
  // Every sound parameter over a grid, every envelope at its extremes: the
  // cutoff in octaves C = drift + EnvMod (filterEnv - 2) + accK accentEnv
  // keeps (C + 8) * 32 inside the table, and the coefficient is 2^C times
  // the cutoff base (within the 1/32-octave interpolation, 6e-5).
  const float grid[] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
  struct Extreme {
    long double drift, filterEnv, accent;
  };
  const Extreme seqExtremes[] = {{0, 0, 0}, {0, 4, 0}, {0, 0, 4}, {0, 4, 4},
                                 {-1.75L, 0, 0}, {-1.75L, 4, 0}, {-1.75L, 0, 4}, {-1.75L, 4, 4}};
  double lowest = 1e9, highest = -1e9;
  int checked = 0;
  VoiceParameters p;
  for (float wave : {0.0f, 1.0f})
    for (float tuning : grid)
      for (float cutoff : grid)
        for (float reso : grid)
          for (float envMod : grid)
            for (float decay : grid)
              for (float accent : grid) {
                p.waveform = wave;
                p.tuning = tuning;
                p.cutoff = cutoff;
                p.resonance = reso;
                p.envMod = envMod;
                p.decay = decay;
                p.accent = accent;
                const float p1 = std::pow(2.0f, 0.5f * cutoff);
                const float p2 = std::pow(2.0f, (p1 - 1.0f) * 0.8f);
                const long double cutBase = p2 - 0.987f + cNoteFreq[60] / 44100.0L * 0.33f;
                for (const Extreme& e : seqExtremes) {
                  VoiceState v;
                  v.reset();
                  startStep(v, cNoteFreq[60], e.drift != 0.0L);
                  v.m_cutoffDrift = e.drift;
                  v.m_filterEnv = e.filterEnv;
                  v.m_accentEnv = v.m_accentCharge = e.accent;
                  const VoiceBlock block = voiceBlockConstants(p, v, 44100.0, false);
                  ASSERT_NEAR(double(block.cutBase), double(cutBase), 1e-6);
                  const VoiceSample s = sequencerVoiceAdvance(v, block);
                  const double c = double(v.m_cutoffDrift + envMod * (v.m_filterEnv - 2.0L) +
                                          0.65f * accent * v.m_accentEnv);
                  const double x = (c + 8.0) * 32.0;
                  lowest = std::min(lowest, x);
                  highest = std::max(highest, x);
                  ASSERT_GE(x, 0.0);
                  ASSERT_LE(x, 511.0);
                  ASSERT_NEAR(double(s.cutCoef / cutBase) / std::exp2(c), 1.0, 6e-5)
                      << "C " << c << " cutoff " << cutoff;
                  ++checked;
                }
                // Keyboard voice: no drift, accent envelope up to 5.
                for (long double env : {0.0L, 4.0L})
                  for (long double acc : {0.0L, 5.0L}) {
                    VoiceState v;
                    v.reset();
                    v.m_noteFreq = cNoteFreq[60];
                    v.m_filterEnv = env;
                    v.m_accentEnv = v.m_accentCharge = acc;
                    const VoiceBlock block = voiceBlockConstants(p, v, 44100.0, false);
                    const float out = keyboardVoiceSample(v, block, 0.0f);
                    ASSERT_TRUE(std::isfinite(out));
                    const double c = double(envMod * (v.m_filterEnv - 2.0L) + 0.65f * accent * v.m_accentEnv);
                    const double x = (c + 8.0) * 32.0;
                    lowest = std::min(lowest, x);
                    highest = std::max(highest, x);
                    ASSERT_GE(x, 0.0);
                    ASSERT_LE(x, 511.0);
                  }
              }
  EXPECT_EQ(checked, 2 * 15625 * 8);
  // C from -3.75 to 5.25 octaves, as the envelope ranges give.
  EXPECT_NEAR(lowest, (8 - 3.75) * 32, 0.5);
  EXPECT_NEAR(highest, (8 + 5.25) * 32, 0.5);

  // The envelopes never leave those extremes, however densely accents come:
  // every step accented at 600 BPM in the sequencer (accentEnv <= 4)...
  EngineRig rig;
  for (int i = 0; i < 16; ++i) {
    rig.pattern().setStepNote(1 + 3 * i, i);
    rig.pattern().setStepAccent(true, i);
  }
  rig.host.tempo = 600.0;
  long double maxEnv = 0.0L;
  std::vector<float> out;
  rig.render(44100, 1, out, [&] { maxEnv = std::max(maxEnv, rig.engine.m_voice.m_accentEnv); });
  EXPECT_GT(maxEnv, 2.5L);
  EXPECT_LE(maxEnv, 4.0L);
  // ...and a hard key every 30 samples in keyboard mode (accentEnv <= 5).
  EngineRig keys;
  keys.seq.m_syncType = kSyncMidi;
  maxEnv = 0.0L;
  int n = 0;
  keys.render(44100, 1, out, [&] {
    if (n % 30 == 0) keys.engine.play(48 + (n / 30) % 12, 127);
    if (n % 30 == 15) keys.engine.stop(48 + (n / 30) % 12, 48);
    ++n;
    maxEnv = std::max(maxEnv, keys.engine.m_voice.m_accentEnv);
  });
  EXPECT_GT(maxEnv, 4.0L);
  EXPECT_LE(maxEnv, 5.0L);
}

TEST_F(VoiceTest, EnvelopeTimesFollowRate) {
  // The same accented note at 44.1 and 96 kHz, gate released after 50 ms.
  // Amplitude, accent and drift are defined in seconds (rates times k);
  // the filter envelope's decay is per sample, so in seconds it runs
  // 96000 / 44100 = 2.18 times faster at 96 kHz.
  const VoiceParameters p = factoryParameters(true);
  struct Trace {
    std::vector<double> amp, accentEnv, accentLevel, drift, filterEnv;
  };
  auto trace = [&](double sr) {
    Trace t;
    VoiceState v;
    v.reset();
    startStep(v, kNote13, true);
    const VoiceBlock block = voiceBlockConstants(p, v, sr, false);
    const int n = int(sr * 0.5);
    for (int i = 0; i < n; ++i) {
      if (i == int(sr * 0.05)) v.m_noteReleased = true;
      sequencerVoiceAdvance(v, block);
      t.amp.push_back(double(v.m_ampEnv));
      t.accentEnv.push_back(double(v.m_accentEnv));
      t.accentLevel.push_back(double(v.m_accentLevel));
      t.drift.push_back(double(v.m_cutoffDrift));
      t.filterEnv.push_back(double(v.m_filterEnv));
    }
    return t;
  };
  const Trace a = trace(44100.0), b = trace(96000.0);
  auto at = [](const std::vector<double>& v, double sr, double seconds) { return v[size_t(sr * seconds) - 1]; };
  // Release: 0.004 per sample at 44.1 kHz, a time constant of 250 samples =
  // 5.67 ms; after it the envelope is at 1/e of where it was.
  const double e = std::exp(-1.0);
  EXPECT_NEAR(at(a.amp, 44100, 0.05 + 250 / 44100.0), e, 0.002);
  EXPECT_NEAR(at(b.amp, 96000, 0.05 + 250 / 44100.0), e, 0.002);
  for (double s : {0.01, 0.03, 0.1, 0.3, 0.5}) {
    // Accent envelope: charge falls 0.00044444 per sample (to 0 after
    // 102 ms), followed at 0.00144 per sample (15.7 ms).
    EXPECT_NEAR(at(b.accentEnv, 96000, s), at(a.accentEnv, 44100, s), 0.005 * at(a.accentEnv, 44100, s) + 1e-4)
        << s;
    // Accent level: target 0.6 falling 0.00015 per sample, followed at
    // 0.03 per sample (0.76 ms); the discrete steps differ by ~1 %, and the
    // target's last step may take it one step (0.00015 k) below 0.
    EXPECT_NEAR(at(b.accentLevel, 96000, s), at(a.accentLevel, 44100, s), 0.02 * at(a.accentLevel, 44100, s) + 1e-4)
        << s;
    // Drift toward -1.75 octaves at 9e-5 per sample (0.25 s).
    EXPECT_NEAR(at(b.drift, 96000, s), at(a.drift, 44100, s), 0.002 * std::fabs(at(a.drift, 44100, s))) << s;
    // Filter envelope: the same decay per sample, so ln(env / 4) scales
    // with the sample count.
    EXPECT_NEAR(std::log(at(b.filterEnv, 96000, s) / 4.0) / std::log(at(a.filterEnv, 44100, s) / 4.0),
                96000.0 / 44100.0, 1e-6)
        << s;
  }
  // Worked values at 44.1 kHz: drift after 0.3 s = -1.75 (1 - (1 - 9e-5)^13230)
  // = -1.2939; filterEnv after 0.1 s = 4 (0.9995 + 0.0005 * 0.9)^4410 = 3.2042.
  EXPECT_NEAR(at(a.drift, 44100, 0.3), -1.75 * (1.0 - std::pow(1.0 - 9e-5, 13230)), 1e-4);
  EXPECT_NEAR(at(a.filterEnv, 44100, 0.1), 4.0 * std::pow(double(0.9995f) + double(0.0005f) * double(0.9f), 4410), 1e-9);
  EXPECT_LT(a.accentLevel[size_t(44100 * 0.5) - 1], 0.02);

  // The output droop: 1e-5 per sample at 44.1 kHz, (1 - 1e-5)^60000 =
  // 0.54881 after 60000 samples (1.36 s, the same in seconds at 96 kHz),
  // then held at 0.5 from 69315 samples (ln 2 / 1e-5) on.
  for (double sr : {44100.0, 96000.0}) {
    VoiceState v;
    v.reset();
    startStep(v, kNote13, false);
    const VoiceBlock block = voiceBlockConstants(p, v, sr, false);
    const int n = int(sr / 44100.0 * 60000.0);
    for (int i = 0; i < n; ++i) sequencerVoiceAdvance(v, block);
    EXPECT_NEAR(double(v.m_noteLevel), 0.54881, 2e-4) << sr;
    for (int i = 0; i < n / 2; ++i) sequencerVoiceAdvance(v, block);
    EXPECT_EQ(double(v.m_noteLevel), 0.5) << sr;
  }
}

}  // namespace
