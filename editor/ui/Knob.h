// A rotary control drawn by hand: caption above, a ring whose amber arc
// shows the value, the instrument's display text below (or, in the compact
// form, caption and text to the right of a smaller ring).
// Drag vertically to turn (Shift or Ctrl for fine steps), use the wheel, or
// double-click to return to the default. The callback runs on every change
// the user makes; values from the instrument are ignored while a drag is
// under way so its own late echoes cannot pull the knob back.
#pragma once

#include <FL/Fl_Widget.H>

#include <string>

class Knob : public Fl_Widget {
 public:
  Knob(int x, int y, int w, int h, const char* caption, bool compact = false);

  float value() const { return value_; }
  // From the instrument; ignored during a drag.
  void showValue(float v, const std::string& text);
  void defaultValue(float v) { default_ = v; }

 protected:
  void draw() override;
  int handle(int event) override;

 private:
  void userSet(float v);

  float value_ = 0.0f;
  float default_ = 0.0f;
  float dragStart_ = 0.0f;
  int dragY_ = 0;
  bool dragging_ = false;
  bool compact_;
  std::string text_;
};
