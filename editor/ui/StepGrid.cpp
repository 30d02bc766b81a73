#include "editor/ui/StepGrid.h"

#include <FL/Fl.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/fl_draw.H>

#include <string>
#include <vector>

#include "editor/core/Gestures.h"
#include "editor/core/Notes.h"
#include "editor/ui/Theme.h"

namespace {

constexpr int kLabelW = 46;
constexpr int kNumberH = 14;
constexpr int kToggleH = 15;
constexpr int kGap = 3;
const char* const kRowNames[] = {"Note", "Rest", "Accent", "Slide"};

}  // namespace

StepGrid::StepGrid(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {
  restoreNote_.fill(kDefaultNote);
  box(FL_NO_BOX);
  clear_visible_focus();
}

void StepGrid::showPattern(const PatternState& pattern) {
  pattern_ = pattern;
  for (size_t i = 0; i < restoreNote_.size(); ++i) {
    if (isPlayableNote(pattern.steps[i].note)) restoreNote_[i] = pattern.steps[i].note;
  }
  redraw();
}

void StepGrid::showPlayingStep(int step) {
  if (step == playing_) return;
  playing_ = step;
  redraw();
}

void StepGrid::page(int p) {
  p = p < 0 ? 0 : (p > 3 ? 3 : p);
  if (p == page_) return;
  page_ = p;
  redraw();
}

int StepGrid::columnX(int column) const { return x() + kLabelW + column * (w() - kLabelW) / kStepsPerPage; }

int StepGrid::rowH(Field field) const {
  return field == Field::Note ? h() - kNumberH - 3 * (kToggleH + kGap) - kGap : kToggleH;
}

int StepGrid::rowY(Field field) const {
  int noteY = y() + kNumberH + kGap;
  if (field == Field::Note) return noteY;
  return noteY + rowH(Field::Note) + kGap + (static_cast<int>(field) - 1) * (kToggleH + kGap);
}

StepGrid::Hit StepGrid::hitAt(int mx, int my) const {
  if (mx < columnX(0) || mx >= x() + w()) return {-1, Field::Note};
  int column = 0;
  while (column + 1 < kStepsPerPage && columnX(column + 1) <= mx) ++column;
  for (Field f : {Field::Note, Field::Rest, Field::Accent, Field::Slide}) {
    if (my >= rowY(f) && my < rowY(f) + rowH(f)) return {page_ * kStepsPerPage + column, f};
  }
  return {-1, Field::Note};
}

bool StepGrid::fieldOn(int step, Field field) const {
  const StepState& s = pattern_.steps[static_cast<size_t>(step)];
  switch (field) {
    case Field::Rest:
      return s.note == 0;
    case Field::Accent:
      return s.accent;
    case Field::Slide:
      return s.slide;
    default:
      return false;
  }
}

void StepGrid::drawCell(int step, Field field) {
  int column = step % kStepsPerPage;
  int cx = columnX(column) + 1, cw = columnX(column + 1) - columnX(column) - 2;
  int cy = rowY(field), ch = rowH(field);
  bool active = editable(step);
  const StepState& s = pattern_.steps[static_cast<size_t>(step)];
  if (field == Field::Note) {
    bool playing = step == playing_;
    fl_color(active ? theme::kCell : theme::kCellOff);
    fl_rectf(cx, cy, cw, ch);
    if (playing) {
      fl_color(theme::kLed);
      fl_rect(cx, cy, cw, ch);
      fl_rect(cx + 1, cy + 1, cw - 2, ch - 2);
    }
    std::string name = stepNoteName(s.note);
    fl_font(s.accent ? theme::kBold : theme::kFont, 12);
    fl_color(!active ? theme::kDimText : (s.note == 0 ? theme::kDimText : theme::kText));
    fl_draw(name.c_str(), cx, cy, cw, ch, FL_ALIGN_CENTER | FL_ALIGN_CLIP);
    return;
  }
  bool on = fieldOn(step, field);
  Fl_Color lit = field == Field::Accent ? theme::kAccent : (field == Field::Slide ? theme::kSlide : theme::kText);
  fl_color(!active ? theme::kCellOff : (on ? lit : theme::kCell));
  fl_rectf(cx + 3, cy + 2, cw - 6, ch - 4);
  if (on && !active) {  // hidden content stays visible, faintly
    fl_color(theme::kDimText);
    fl_rect(cx + 3, cy + 2, cw - 6, ch - 4);
  }
}

void StepGrid::draw() {
  fl_push_clip(x(), y(), w(), h());
  fl_color(theme::kPanel);
  fl_rectf(x(), y(), w(), h());
  fl_font(theme::kFont, theme::kCaptionSize);
  fl_color(theme::kDimText);
  for (Field f : {Field::Note, Field::Rest, Field::Accent, Field::Slide}) {
    fl_draw(kRowNames[static_cast<int>(f)], x() + 2, rowY(f), kLabelW - 4, rowH(f), FL_ALIGN_LEFT | FL_ALIGN_CLIP);
  }
  for (int column = 0; column < kStepsPerPage; ++column) {
    int step = page_ * kStepsPerPage + column;
    int cx = columnX(column), cw = columnX(column + 1) - cx;
    // Step number; the playing step's number turns into a red lamp.
    bool playing = step == playing_;
    if (playing) {
      fl_color(theme::kLed);
      fl_rectf(cx + 2, y() + 1, cw - 4, kNumberH - 2);
    }
    fl_font(column % 4 == 0 ? theme::kBold : theme::kFont, theme::kValueSize);
    fl_color(playing ? theme::kText : (editable(step) ? theme::kDimText : theme::kCellOff));
    fl_draw(std::to_string(step + 1).c_str(), cx, y(), cw, kNumberH, FL_ALIGN_CENTER);
    for (Field f : {Field::Note, Field::Rest, Field::Accent, Field::Slide}) drawCell(step, f);
  }
  fl_pop_clip();
}

void StepGrid::edit(int step, Field field, int value) {
  StepState& s = pattern_.steps[static_cast<size_t>(step)];
  if (field == Field::Rest) {
    field = Field::Note;
    value = value ? 0 : restoreNote_[static_cast<size_t>(step)];
  }
  if (field == Field::Note) {
    if (isPlayableNote(value)) restoreNote_[static_cast<size_t>(step)] = value;
    s.note = value;
  } else if (field == Field::Accent) {
    s.accent = value != 0;
  } else {
    s.slide = value != 0;
  }
  redraw();
  if (onEdit) onEdit(step, field, value);
}

void StepGrid::notePopup(int step) {
  // "Rest", then one submenu per octave: 1 + 5 * (1 + 12 + 1) items + end.
  std::vector<Fl_Menu_Item> items;
  std::vector<std::string> labels;
  labels.reserve(80);
  items.push_back({"Rest", 0, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(0)), FL_MENU_DIVIDER, 0, 0, 0, 0});
  for (int octave = 0; octave < 5; ++octave) {
    labels.push_back("Octave " + std::to_string(octave + 2));
    items.push_back({labels.back().c_str(), 0, nullptr, nullptr, FL_SUBMENU, 0, 0, 0, 0});
    for (int pc = 0; pc < 12; ++pc) {
      int note = 1 + octave * 12 + pc;
      labels.push_back(stepNoteName(note));
      items.push_back({labels.back().c_str(), 0, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(note)),
                       0, 0, 0, 0, 0});
    }
    items.push_back({nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0});
  }
  items.push_back({nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0});
  for (Fl_Menu_Item& item : items) {
    if (item.text) item.labelcolor(theme::kText);
  }
  const Fl_Menu_Item* chosen = items.data()->popup(Fl::event_x(), Fl::event_y(), "Note");
  if (chosen && !(chosen->flags & FL_SUBMENU)) {
    edit(step, Field::Note, static_cast<int>(reinterpret_cast<intptr_t>(chosen->user_data())));
  }
}

int StepGrid::handle(int event) {
  switch (event) {
    case FL_PUSH: {
      Hit hit = hitAt(Fl::event_x(), Fl::event_y());
      press_ = {-1, Field::Note};
      if (!editable(hit.step)) return 1;
      if (hit.field == Field::Note) {
        if (Fl::event_button() == FL_RIGHT_MOUSE) {
          notePopup(hit.step);
          return 1;
        }
        press_ = hit;
        pressY_ = Fl::event_y();
        pressNote_ = pattern_.steps[static_cast<size_t>(hit.step)].note;
        if (pressNote_ == 0) pressNote_ = restoreNote_[static_cast<size_t>(hit.step)];
        return 1;
      }
      press_ = hit;
      sweepValue_ = fieldOn(hit.step, hit.field) ? 0 : 1;
      edit(hit.step, hit.field, sweepValue_);
      return 1;
    }
    case FL_DRAG:
    case FL_RELEASE: {  // the release position counts too: fast drags bring no drag event
      if (press_.step < 0) return 1;
      if (press_.field == Field::Note) {
        int note = noteDrag(pressNote_, pressY_ - Fl::event_y(), Fl::event_state() & FL_SHIFT);
        int shown = pattern_.steps[static_cast<size_t>(press_.step)].note;
        bool moved = pressY_ - Fl::event_y() >= kNotePixels || Fl::event_y() - pressY_ >= kNotePixels;
        if (moved && note != shown) edit(press_.step, Field::Note, note);
      } else {
        Hit hit = hitAt(Fl::event_x(), Fl::event_y());
        if (hit.step >= 0 && hit.field == press_.field && editable(hit.step) &&
            fieldOn(hit.step, hit.field) != (sweepValue_ != 0)) {
          edit(hit.step, hit.field, sweepValue_);
        }
      }
      if (event == FL_RELEASE) press_ = {-1, Field::Note};
      return 1;
    }
    case FL_MOUSEWHEEL: {
      Hit hit = hitAt(Fl::event_x(), Fl::event_y());
      if (!editable(hit.step) || hit.field != Field::Note || Fl::event_dy() == 0) return 0;
      int from = pattern_.steps[static_cast<size_t>(hit.step)].note;
      int note = noteDrag(from, -Fl::event_dy() * kNotePixels, Fl::event_state() & FL_SHIFT);
      if (note != from) edit(hit.step, Field::Note, note);
      return 1;
    }
    case FL_ENTER:
    case FL_LEAVE:
      return 1;
    default:
      return Fl_Widget::handle(event);
  }
}
