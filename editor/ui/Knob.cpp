#include "editor/ui/Knob.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include <cmath>

#include "editor/core/Gestures.h"
#include "editor/ui/Theme.h"

namespace {

bool fineModifier() { return Fl::event_state() & (FL_SHIFT | FL_CTRL); }

// The ring: 270 degrees from lower left (225) clockwise to lower right (-45),
// the amber arc up to the value, and a cap with a pointer inside it.
void drawRing(int cx, int cy, int d, float value, bool active) {
  int x = cx - d / 2, y = cy - d / 2;
  fl_color(theme::kKnobBody);
  fl_pie(x, y, d, d, -45, 225);
  double a = 225.0 - 270.0 * value;
  if (value > 0.002f) {
    fl_color(active ? theme::kAccent : theme::kDimText);
    fl_pie(x, y, d, d, a, 225);
  }
  int gap = d - 8;
  fl_color(theme::kPanel);
  fl_pie(cx - gap / 2, cy - gap / 2, gap, gap, 0, 360);
  int cap = d - 12;
  fl_color(fl_rgb_color(84, 88, 97));
  fl_pie(cx - cap / 2, cy - cap / 2, cap, cap, 0, 360);
  fl_color(fl_rgb_color(30, 32, 36));
  fl_arc(cx - cap / 2, cy - cap / 2, cap, cap, 0, 360);
  double rad = a * M_PI / 180.0;
  double r = cap / 2.0;
  fl_color(theme::kText);
  fl_line_style(FL_SOLID | FL_CAP_ROUND, 2);
  fl_line(cx + static_cast<int>(std::lround(std::cos(rad) * r * 0.25)),
          cy - static_cast<int>(std::lround(std::sin(rad) * r * 0.25)),
          cx + static_cast<int>(std::lround(std::cos(rad) * r * 0.8)),
          cy - static_cast<int>(std::lround(std::sin(rad) * r * 0.8)));
  fl_line_style(0);
}

}  // namespace

Knob::Knob(int x, int y, int w, int h, const char* caption, bool compact)
    : Fl_Widget(x, y, w, h, caption), compact_(compact) {
  box(FL_NO_BOX);
  clear_visible_focus();
}

void Knob::showValue(float v, const std::string& text) {
  if (dragging_) return;
  if (v == value_ && text == text_) return;
  value_ = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
  text_ = text;
  redraw();
}

void Knob::userSet(float v) {
  if (v == value_) return;
  value_ = v;
  redraw();
  do_callback();
}

void Knob::draw() {
  if (compact_) {
    int d = h() - 8;
    drawRing(x() + d / 2 + 2, y() + h() / 2, d, value_, active_r());
    int tx = x() + d + 7;
    fl_font(theme::kFont, theme::kCaptionSize);
    fl_color(theme::kDimText);
    fl_draw(label(), tx, y(), w() - (tx - x()), h() / 2, FL_ALIGN_LEFT | FL_ALIGN_BOTTOM | FL_ALIGN_CLIP);
    fl_font(theme::kFont, theme::kValueSize);
    fl_color(theme::kAccent);
    fl_draw(text_.c_str(), tx, y() + h() / 2, w() - (tx - x()), h() / 2,
            FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_CLIP);
    return;
  }
  fl_font(theme::kFont, theme::kCaptionSize);
  fl_color(theme::kDimText);
  fl_draw(label(), x(), y(), w(), 13, FL_ALIGN_CENTER | FL_ALIGN_CLIP);
  int d = h() - 30;
  drawRing(x() + w() / 2, y() + 15 + d / 2, d, value_, active_r());
  fl_font(theme::kFont, theme::kValueSize);
  fl_color(theme::kAccent);
  fl_draw(text_.c_str(), x(), y() + h() - 13, w(), 13, FL_ALIGN_CENTER | FL_ALIGN_CLIP);
}

int Knob::handle(int event) {
  switch (event) {
    case FL_PUSH:
      if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
      if (Fl::event_clicks() > 0) {  // double-click: back to the default
        Fl::event_clicks(0);
        userSet(default_);
        return 1;
      }
      dragging_ = true;
      dragStart_ = value_;
      dragY_ = Fl::event_y();
      return 1;
    case FL_DRAG:
    case FL_RELEASE:  // a fast flick may bring only the release: apply its position too
      if (!dragging_) return 1;
      userSet(knobDrag(dragStart_, dragY_ - Fl::event_y(), fineModifier()));
      if (event == FL_RELEASE) dragging_ = false;
      return 1;
    case FL_MOUSEWHEEL:
      if (Fl::event_dy() == 0) return 0;
      userSet(knobWheel(value_, -Fl::event_dy(), fineModifier()));
      return 1;
    case FL_ENTER:
    case FL_LEAVE:
      return 1;
    default:
      return Fl_Widget::handle(event);
  }
}
