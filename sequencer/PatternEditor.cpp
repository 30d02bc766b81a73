#include "sequencer/PatternEditor.h"

#include <ctime>

#include "engine/RandomSequence.h"
#include "engine/Tables.h"

namespace {

// Random notes: 15..29, MIDI 50..64, a bass register that stays musical.
constexpr int kRandomNoteBase = 15;
constexpr int kRandomNoteRange = 15;
// An accent or slide falls where random(100) lands above this: 24 of 100.
constexpr int kRandomFlagThreshold = 75;
// Waveform: square when random(12) lands above this, an even chance.
constexpr int kWaveformRange = 12;
constexpr int kWaveformThreshold = 5;

int randomNote(RandomSequence& r) { return kRandomNoteBase + random(r, kRandomNoteRange); }
bool randomFlag(RandomSequence& r) { return random(r, 100) > kRandomFlagThreshold; }

// Seed from the wall clock plus the generator's counter, so two requests in
// the same second still differ. The counter is taken and advanced in one
// atomic step: concurrent instances never read the same value twice.
unsigned nextSeed(std::atomic<uint32_t>& counter, uintptr_t factor) {
  const uintptr_t used = counter.fetch_add(1);
  return static_cast<unsigned>(static_cast<uintptr_t>(std::time(nullptr)) + used * factor);
}

}  // namespace

std::atomic<uint32_t> PatternEditor::s_patternCounter{1};
std::atomic<uint32_t> PatternEditor::s_partCounter{1};
std::atomic<uint32_t> PatternEditor::s_parameterCounter{1};

Pattern* PatternEditor::target(int index) {
  return index == kCurrentPattern ? m_seq.m_currentPattern : m_seq.m_song.getPattern(index);
}

void PatternEditor::contentReplaced(const Pattern* pattern) {
  if (pattern == m_seq.m_currentPattern) m_seq.m_currentStep = nullptr;
}

void PatternEditor::notifyEdited() {
  if (m_listener) m_listener->sequencerPatternsEdited();
}

void PatternEditor::PatternClear() {
  if (Pattern* pattern = m_seq.m_currentPattern) pattern->clear();
}

void PatternEditor::PatternCopy(int index) {
  const Pattern* source = target(index);
  if (!source) return;
  m_copyPattern.copyStepsFrom(*source);
  m_hasCopy = true;
}

void PatternEditor::PatternPaste(int index) {
  if (!m_hasCopy) return;
  Pattern* destination = target(index);
  if (!destination) return;
  // The target takes the buffer's length; its steps beyond it keep their
  // content, hidden, and so does its name.
  destination->copyStepsFrom(m_copyPattern);
  contentReplaced(destination);
}

void PatternEditor::patternTransposeUp() {
  if (Pattern* pattern = m_seq.m_currentPattern) pattern->transposeUp();
}

void PatternEditor::patternTransposeDown() {
  if (Pattern* pattern = m_seq.m_currentPattern) pattern->transposeDown();
}

namespace {

struct StepContent {
  int note;
  bool slide;
  bool accent;
};

StepContent contentOf(const Step& step) { return {step.note, step.slide, step.accent}; }

void assign(Step& step, const StepContent& content) {
  step.note = content.note;
  step.slide = content.slide;
  step.accent = content.accent;
}

}  // namespace

void PatternEditor::patternShiftLeft() {
  Pattern* pattern = m_seq.m_currentPattern;
  if (!pattern) return;
  const int n = pattern->getNBStep();
  const StepContent first = contentOf(*pattern->getStep(0));
  for (int i = 0; i + 1 < n; ++i) assign(*pattern->getStep(i), contentOf(*pattern->getStep(i + 1)));
  assign(*pattern->getStep(n - 1), first);
  notifyEdited();
}

void PatternEditor::patternShiftRight() {
  Pattern* pattern = m_seq.m_currentPattern;
  if (!pattern) return;
  const int n = pattern->getNBStep();
  const StepContent last = contentOf(*pattern->getStep(n - 1));
  for (int i = n - 1; i > 0; --i) assign(*pattern->getStep(i), contentOf(*pattern->getStep(i - 1)));
  assign(*pattern->getStep(0), last);
  notifyEdited();
}

void PatternEditor::PatternRandom1(int index) {
  if (index == kCurrentPattern) {
    m_seq.m_randomizeRequested = true;
    return;
  }
  processRandomize(index);
}

void PatternEditor::processRandomize(int index) {
  if (!m_seq.m_currentPattern) return;
  Pattern* pattern = target(index);
  if (!pattern) return;
  RandomSequence r(nextSeed(s_patternCounter, 1));
  const int n = pattern->getNBStep();
  for (int i = 0; i < n; ++i) {
    // One step at a time, note before accent before slide: the order of the
    // draws decides which pattern a seed gives.
    Step& step = *pattern->getStep(i);
    step.note = randomNote(r);
    step.accent = randomFlag(r);
    step.slide = randomFlag(r);
  }
  contentReplaced(pattern);
  notifyEdited();
}

void PatternEditor::patternRandom3(int what, int index) {
  if (!m_seq.m_currentPattern) return;
  Pattern* pattern = target(index);
  if (!pattern) return;
  RandomSequence r(nextSeed(s_partCounter, 1));
  const int n = pattern->getNBStep();
  for (int i = 0; i < n; ++i) {
    Step& step = *pattern->getStep(i);
    switch (what) {
      case 0:
        step.note = randomNote(r);
        break;
      case 1:
        step.slide = randomFlag(r);
        break;
      case 2:
        step.accent = randomFlag(r);
        break;
      default:
        break;
    }
  }
  contentReplaced(pattern);
  notifyEdited();
}

void PatternEditor::randomParameters(ParameterSetter& setter, uintptr_t instanceAddress) {
  RandomSequence r(nextSeed(s_parameterCounter, instanceAddress));
  for (int index = kFirstSoundParameter; index <= kLastSoundParameter; ++index)
    setter.setParameter(index, static_cast<float>(random(r, 100)) / 100.0f);
  setter.setParameter(kWaveformParameter, random(r, kWaveformRange) > kWaveformThreshold ? 1.0f : 0.0f);
  notifyEdited();
}
