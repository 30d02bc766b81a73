// What the sequencer tells the rest of the instrument. The instrument
// implements it and routes each notice to the delay, the shared state the
// editor reads, and the editor itself.
#pragma once

class SequencerListener {
 public:
  virtual ~SequencerListener() = default;
  // The clock that drives the sequencer now runs at `tempo` BPM: a synced
  // delay follows it.
  virtual void sequencerTempoChanged(double tempo) = 0;
  // The current pattern changed (trigger or synchronised change).
  virtual void sequencerPatternChanged() = 0;
  // Transport status (sync type, playing flags) changed.
  virtual void sequencerStatusChanged() = 0;
  // Pattern content was edited, randomised or recorded: the editor's view
  // of the patterns must be refreshed.
  virtual void sequencerPatternsEdited() {}
};
