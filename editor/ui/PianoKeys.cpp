#include "editor/ui/PianoKeys.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>

#include "editor/core/KeyboardLayout.h"
#include "editor/core/Notes.h"
#include "editor/ui/Theme.h"

PianoKeys::PianoKeys(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {
  box(FL_NO_BOX);
  clear_visible_focus();
}

void PianoKeys::light(int midiNote, bool on) {
  if (midiNote < 0 || midiNote > 127 || lit_[static_cast<size_t>(midiNote)] == on) return;
  lit_[static_cast<size_t>(midiNote)] = on;
  redraw();
}

void PianoKeys::clearLights() {
  if (lit_.none()) return;
  lit_.reset();
  redraw();
}

void PianoKeys::hold(int midiNote, bool on) {
  if (midiNote < 0 || midiNote > 127 || held_[static_cast<size_t>(midiNote)] == on) return;
  held_[static_cast<size_t>(midiNote)] = on;
  redraw();
}

void PianoKeys::drawKey(int note) {
  KeyboardLayout layout(w(), h());
  KeyRect r = layout.keyRect(note);
  bool black = KeyboardLayout::isBlack(note);
  Fl_Color c = black ? fl_rgb_color(22, 23, 26) : fl_rgb_color(232, 232, 226);
  if (lit_[static_cast<size_t>(note)]) c = fl_rgb_color(255, 196, 90);
  if (held_[static_cast<size_t>(note)]) c = theme::kAccent;
  fl_color(c);
  fl_rectf(x() + r.x, y() + r.y, r.w, r.h);
  fl_color(fl_rgb_color(20, 20, 22));
  fl_rect(x() + r.x, y() + r.y, r.w + (black ? 0 : 1), r.h);
  if (!black && note % 12 == 0) {
    fl_font(theme::kFont, 9);
    fl_color(fl_rgb_color(110, 110, 110));
    fl_draw(midiNoteName(note).c_str(), x() + r.x, y() + r.h - 13, r.w, 12, FL_ALIGN_CENTER | FL_ALIGN_CLIP);
  }
}

void PianoKeys::draw() {
  fl_push_clip(x(), y(), w(), h());
  for (int n = kLowestMidiNote; n <= kHighestMidiNote; ++n) {
    if (!KeyboardLayout::isBlack(n)) drawKey(n);
  }
  for (int n = kLowestMidiNote; n <= kHighestMidiNote; ++n) {
    if (KeyboardLayout::isBlack(n)) drawKey(n);
  }
  fl_pop_clip();
}

void PianoKeys::mouseNote(int note) {
  if (note == mouseNote_) return;
  if (mouseNote_ >= 0) {
    hold(mouseNote_, false);
    if (onNote) onNote(mouseNote_, false);
  }
  mouseNote_ = note;
  if (note >= 0) {
    hold(note, true);
    if (onNote) onNote(note, true);
  }
}

int PianoKeys::handle(int event) {
  KeyboardLayout layout(w(), h());
  switch (event) {
    case FL_PUSH:
      if (Fl::event_button() != FL_LEFT_MOUSE) return 0;
      mouseNote(layout.noteAt(Fl::event_x() - x(), Fl::event_y() - y()));
      return 1;
    case FL_DRAG:  // gliding over the keys plays each one in turn
      mouseNote(layout.noteAt(Fl::event_x() - x(), Fl::event_y() - y()));
      return 1;
    case FL_RELEASE:
      mouseNote(-1);
      return 1;
    case FL_ENTER:
    case FL_LEAVE:
      return 1;
    default:
      return Fl_Widget::handle(event);
  }
}
