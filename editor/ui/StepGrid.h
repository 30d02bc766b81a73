// The step grid: one page of 16 steps of the current pattern with a note
// cell and rest, accent and slide toggles per step, and the playing step lit.
// Steps at or beyond the pattern's length are drawn dim and take no edits.
//
// Note cells: drag up or down (Shift: by octaves), turn the wheel, or
// right-click for a note menu. Toggles: click, or click and sweep along the
// row to set several steps alike.
#pragma once

#include <FL/Fl_Widget.H>

#include <functional>

#include "editor/core/EditorState.h"

class StepGrid : public Fl_Widget {
 public:
  enum class Field { Note, Rest, Accent, Slide };
  static constexpr int kStepsPerPage = 16;

  StepGrid(int x, int y, int w, int h);

  void showPattern(const PatternState& pattern);
  void showPlayingStep(int step);  // -1: none
  void page(int p);
  int page() const { return page_; }

  // Edits: the step (0..63) and the new note (0 for a rest), or the new
  // state of its accent or slide. Rest toggles arrive as notes: a rest, or
  // the note the step had before it became one.
  std::function<void(int step, Field field, int value)> onEdit;

 protected:
  void draw() override;
  int handle(int event) override;

 private:
  struct Hit {
    int step;  // -1: none
    Field field;
  };
  Hit hitAt(int mx, int my) const;
  int columnX(int column) const;
  int rowY(Field field) const;
  int rowH(Field field) const;
  bool editable(int step) const { return step >= 0 && step < pattern_.length; }
  bool fieldOn(int step, Field field) const;
  void notePopup(int step);
  // Shows the edit at once (the block confirms it a moment later) and passes it on.
  void edit(int step, Field field, int value);
  void drawCell(int step, Field field);

  PatternState pattern_;
  std::array<int, 64> restoreNote_;  // each step's last sounding note
  int page_ = 0;
  int playing_ = -1;
  // Gesture under way.
  Hit press_{-1, Field::Note};
  int pressY_ = 0;
  int pressNote_ = 0;
  int sweepValue_ = 0;
};
