// The editor's one window, 621 x 437: menus, the sound controls in three
// panels (voice, distortion, delay), the sequencer strip, the step grid with
// its pages, and the keyboard. It shows an EditorState and turns what the
// user does into Commands; it keeps no state of the instrument of its own
// beyond what it last showed.
#pragma once

#include <FL/Fl_Double_Window.H>

#include <array>

#include "editor/core/Commands.h"
#include "editor/core/EditorState.h"

class Fl_Box;
class Fl_Button;
class Fl_Choice;
class Fl_Spinner;
class Fl_Widget;
class Knob;
class MenuBar;
class PianoKeys;
class StepGrid;

class EditorWindow : public Fl_Double_Window {
 public:
  static constexpr int kWidth = 621;
  static constexpr int kHeight = 437;

  explicit EditorWindow(Commands& commands);

  // Everything, after a refresh of the whole block.
  void showState(const EditorState& state);
  // One parameter, after the instrument reported a change.
  void showParameter(const EditorState& state, int index);
  void showPlayingStep(int step);
  void showIncomingNote(int midiNote, bool on);
  void showTransport(const EditorState& state);

  int handle(int event) override;

 private:
  void build();
  void buildVoice(int x, int y, int w, int h);
  void buildDistortion(int x, int y, int w, int h);
  void buildDelay(int x, int y, int w, int h);
  void buildSequencer(int x, int y, int w, int h);
  void buildSteps(int x, int y, int w, int h);
  void buildKeyboard(int x, int y, int w, int h);
  void panel(int x, int y, int w, int h, const char* title);
  Knob* knob(int x, int y, int index, bool compact = false);
  Fl_Button* toggle(int x, int y, int w, int h, int index);
  Fl_Choice* choice(int x, int y, int w, int index);
  void caption(int x, int y, int w, const char* text);
  void sendFromWidget(Fl_Widget* w);
  void selectPage(int page, bool byUser);
  void shiftOctave(int octaves);
  void releaseComputerKeys();

  static void widgetCallback(Fl_Widget* w, void* data);

  Commands& commands_;
  const EditorState* state_ = nullptr;
  MenuBar* menu_ = nullptr;
  Fl_Box* status_ = nullptr;
  std::array<Knob*, 29> knobs_{};
  std::array<Fl_Button*, 29> toggles_{};
  std::array<Fl_Choice*, 29> choices_{};
  Fl_Spinner* length_ = nullptr;
  Fl_Spinner* tempo_ = nullptr;
  Fl_Button* play_ = nullptr;
  Fl_Button* stop_ = nullptr;
  Fl_Button* name_ = nullptr;
  std::array<Fl_Button*, 4> pages_{};
  Fl_Button* follow_ = nullptr;
  StepGrid* grid_ = nullptr;
  PianoKeys* keys_ = nullptr;
  Fl_Box* octave_ = nullptr;
  int baseNote_ = 48;       // computer keyboard's lowest note (C3)
  int heldKeys_[128] = {};  // key code -> note it started (+1), for the release
  int playingStep_ = -1;
};
