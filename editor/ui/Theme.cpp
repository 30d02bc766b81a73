#include "editor/ui/Theme.h"

#include <FL/Fl.H>

namespace theme {

const Fl_Color kBackground = fl_rgb_color(30, 32, 36);
const Fl_Color kPanel = fl_rgb_color(44, 47, 53);
const Fl_Color kPanelEdge = fl_rgb_color(62, 66, 74);
const Fl_Color kText = fl_rgb_color(226, 228, 232);
const Fl_Color kDimText = fl_rgb_color(150, 156, 166);
const Fl_Color kAccent = fl_rgb_color(255, 170, 40);
const Fl_Color kKnobBody = fl_rgb_color(24, 26, 29);
const Fl_Color kLed = fl_rgb_color(240, 64, 52);
const Fl_Color kGreen = fl_rgb_color(80, 210, 110);
const Fl_Color kCell = fl_rgb_color(60, 64, 72);
const Fl_Color kCellOff = fl_rgb_color(38, 40, 45);
const Fl_Color kSlide = fl_rgb_color(70, 186, 222);

void apply() {
  Fl::scheme("gtk+");
  Fl::background(44, 47, 53);
  Fl::background2(30, 32, 36);
  Fl::foreground(226, 228, 232);
  Fl::set_color(FL_SELECTION_COLOR, 255, 170, 40);
  Fl::visible_focus(0);  // no dotted focus boxes on a mouse-driven panel
}

}  // namespace theme
