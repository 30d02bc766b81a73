// Colours and fonts of the editor, in one place so every widget agrees.
#pragma once

#include <FL/Enumerations.H>

namespace theme {

extern const Fl_Color kBackground;   // window
extern const Fl_Color kPanel;        // section panels
extern const Fl_Color kPanelEdge;
extern const Fl_Color kText;
extern const Fl_Color kDimText;      // captions, inactive steps
extern const Fl_Color kAccent;       // amber: values, knob arcs, titles
extern const Fl_Color kKnobBody;
extern const Fl_Color kLed;          // red: playing step, record
extern const Fl_Color kGreen;        // running transport
extern const Fl_Color kCell;         // step cells
extern const Fl_Color kCellOff;      // cells beyond the pattern's length
extern const Fl_Color kSlide;        // teal: slide toggles

constexpr Fl_Font kFont = FL_HELVETICA;
constexpr Fl_Font kBold = FL_HELVETICA_BOLD;
constexpr int kCaptionSize = 11;
constexpr int kValueSize = 10;
constexpr int kTitleSize = 10;

// The stock widgets' scheme and colours, set once before any window opens.
void apply();

}  // namespace theme
