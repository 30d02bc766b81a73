// Whole-pattern edits the editor offers: clear, copy and paste, transpose,
// rotate, and the random generators for patterns, pattern parts and the main
// sound parameters.
//
// Targets: index -1 is the sequencer's current pattern, any other index a song
// slot; an index with no slot behind it, or a missing current pattern, makes
// the operation do nothing. Whenever a target's content is replaced and the
// target is the current pattern, the sounding step is dropped (m_currentStep
// = null) so the engine never holds on to a step whose meaning changed.
//
// Threads: everything here runs on the editor bridge's timer thread, except
// processRandomize(-1), which the audio thread runs at a block start after
// PatternRandom1(-1) asked for it. Nothing allocates, and the randomisers
// draw from a RandomSequence of their own rather than the C library's
// rand(), which takes a lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "sequencer/ParameterSetter.h"
#include "sequencer/Sequencer.h"

class PatternEditor {
 public:
  // Targets -1 .. 63 as above.
  static constexpr int kCurrentPattern = -1;
  // Sound parameters the randomiser sets, and with what.
  static constexpr int kWaveformParameter = 1;
  static constexpr int kFirstSoundParameter = 3;  // "CutOff"
  static constexpr int kLastSoundParameter = 7;   // "Accent"

  explicit PatternEditor(Sequencer& seq, SequencerListener* listener = nullptr)
      : m_seq(seq), m_listener(listener) {}

  // Who hears that pattern content changed (the editor's view of it).
  void setListener(SequencerListener* listener) { m_listener = listener; }

  void PatternClear();
  void PatternCopy(int index);
  // Does nothing until something was copied.
  void PatternPaste(int index);
  void patternTransposeUp();
  void patternTransposeDown();
  // Rotate note, slide and accent by one step; start times stay, so the
  // groove stays on the odd steps.
  void patternShiftLeft();
  void patternShiftRight();

  // Index -1 only raises the sequencer's request flag: the audio thread
  // randomises the current pattern at its next block start, never halfway
  // through a block. Other indices randomise that slot at once.
  void PatternRandom1(int index);
  // Notes 15..29, accents and slides each on about 24 % of the steps.
  void processRandomize(int index);
  // what 0: notes, 1: slides, 2: accents; any other value draws nothing.
  void patternRandom3(int what, int index);
  // Parameters 3..7 to k/100 (k = 0..99) and 1 to saw or square. The
  // instance's address spreads the seeds of instances randomised in the
  // same second.
  void randomParameters(ParameterSetter& setter, uintptr_t instanceAddress);

  bool hasCopy() const { return m_hasCopy; }
  const Pattern& copyBuffer() const { return m_copyPattern; }

  // The process-wide counters that are added to each generator's seed (start
  // at 1, one more after each use), shared by every instance in the process.
  static uint32_t patternCounter() { return s_patternCounter.load(); }
  static uint32_t partCounter() { return s_partCounter.load(); }
  static uint32_t parameterCounter() { return s_parameterCounter.load(); }

 private:
  Pattern* target(int index);
  // Drops the sounding step when `pattern` is the current one.
  void contentReplaced(const Pattern* pattern);
  void notifyEdited();

  Sequencer& m_seq;
  SequencerListener* m_listener;
  // The copy buffer lives inline: "created" by the first copy is the flag.
  // It holds steps only; its name is never used.
  Pattern m_copyPattern{Pattern::kMaxSteps};
  bool m_hasCopy = false;

  static std::atomic<uint32_t> s_patternCounter;
  static std::atomic<uint32_t> s_partCounter;
  static std::atomic<uint32_t> s_parameterCounter;
};
