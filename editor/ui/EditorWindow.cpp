#include "editor/ui/EditorWindow.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Input_.H>
#include <FL/Fl_Spinner.H>

#include <string>

#include "editor/core/Notes.h"
#include "editor/core/ParamControls.h"
#include "editor/ui/Knob.h"
#include "editor/ui/MenuBar.h"
#include "editor/ui/PianoKeys.h"
#include "editor/ui/StepGrid.h"
#include "editor/ui/Theme.h"

namespace {

constexpr int kCellW = 58;
constexpr int kCellH = 58;
const char* const kPageLabels[4] = {"1-16", "17-32", "33-48", "49-64"};
const char* const kPatternLabels[64] = {
    "1",  "2",  "3",  "4",  "5",  "6",  "7",  "8",  "9",  "10", "11", "12", "13", "14", "15", "16",
    "17", "18", "19", "20", "21", "22", "23", "24", "25", "26", "27", "28", "29", "30", "31", "32",
    "33", "34", "35", "36", "37", "38", "39", "40", "41", "42", "43", "44", "45", "46", "47", "48",
    "49", "50", "51", "52", "53", "54", "55", "56", "57", "58", "59", "60", "61", "62", "63", "64"};

// Widgets carry their parameter index in user_data; these tags mark the rest.
enum Tag : intptr_t { kTagLength = 100, kTagTempo, kTagPlay, kTagStop, kTagName, kTagPage0, kTagFollow = kTagPage0 + 4,
                      kTagOctaveDown, kTagOctaveUp };

void styleButton(Fl_Button* b) {
  b->box(FL_GTK_UP_BOX);
  b->down_box(FL_GTK_DOWN_BOX);
  b->color(theme::kCell);
  b->selection_color(theme::kAccent);
  b->labelcolor(theme::kText);
  b->labelsize(theme::kCaptionSize);
  b->clear_visible_focus();
}

void styleSpinner(Fl_Spinner* s) {
  s->textsize(12);
  s->textcolor(theme::kText);
  s->color(theme::kKnobBody);
  s->labelsize(theme::kCaptionSize);
  s->step(1);
}

}  // namespace

EditorWindow::EditorWindow(Commands& commands)
    : Fl_Double_Window(kWidth, kHeight, "Vornix"), commands_(commands) {
  color(theme::kBackground);
  build();
  end();
}

void EditorWindow::widgetCallback(Fl_Widget* w, void* data) {
  static_cast<EditorWindow*>(w->window())->sendFromWidget(w);
  (void)data;
}

void EditorWindow::panel(int x, int y, int w, int h, const char* title) {
  Fl_Box* box = new Fl_Box(FL_FLAT_BOX, x, y, w, h, nullptr);
  box->color(theme::kPanel);
  if (!title) return;
  Fl_Box* t = new Fl_Box(x + 6, y + 2, w - 50, 14, title);
  t->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  t->labelfont(theme::kBold);
  t->labelsize(theme::kTitleSize);
  t->labelcolor(theme::kAccent);
}

void EditorWindow::caption(int x, int y, int w, const char* text) {
  Fl_Box* c = new Fl_Box(x, y, w, 13, text);
  c->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  c->labelsize(theme::kCaptionSize);
  c->labelcolor(theme::kDimText);
}

Knob* EditorWindow::knob(int x, int y, int index, bool compact) {
  Knob* k = compact ? new Knob(x, y, 80, 40, paramControl(index).caption, true)
                    : new Knob(x, y, kCellW, kCellH, paramControl(index).caption);
  k->defaultValue(parameterDefault(index));
  k->user_data(reinterpret_cast<void*>(static_cast<intptr_t>(index)));
  k->callback(widgetCallback);
  knobs_[static_cast<size_t>(index)] = k;
  return k;
}

Fl_Button* EditorWindow::toggle(int x, int y, int w, int h, int index) {
  Fl_Button* b = new Fl_Button(x, y, w, h, paramControl(index).caption);
  b->type(FL_TOGGLE_BUTTON);
  styleButton(b);
  b->user_data(reinterpret_cast<void*>(static_cast<intptr_t>(index)));
  b->callback(widgetCallback);
  toggles_[static_cast<size_t>(index)] = b;
  return b;
}

Fl_Choice* EditorWindow::choice(int x, int y, int w, int index) {
  const ParamControl& pc = paramControl(index);
  Fl_Choice* c = new Fl_Choice(x, y, w, 24);
  for (int i = 0; pc.choices && i < pc.choiceCount; ++i) c->add(pc.choices[i], 0, nullptr, nullptr, 0);
  c->textsize(12);
  c->textcolor(theme::kText);
  c->color(theme::kCell);
  c->down_box(FL_GTK_DOWN_BOX);
  c->clear_visible_focus();
  c->value(0);
  c->user_data(reinterpret_cast<void*>(static_cast<intptr_t>(index)));
  c->callback(widgetCallback);
  choices_[static_cast<size_t>(index)] = c;
  return c;
}

void EditorWindow::build() {
  menu_ = new MenuBar(0, 0, 404, 24, commands_);
  status_ = new Fl_Box(404, 0, kWidth - 404, 24);
  status_->box(FL_FLAT_BOX);
  status_->color(theme::kPanel);
  status_->align(FL_ALIGN_RIGHT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  status_->labelsize(theme::kCaptionSize);
  status_->labelcolor(theme::kDimText);
  buildVoice(4, 28, 302, 136);
  buildDistortion(310, 28, 120, 136);
  buildDelay(434, 28, 183, 136);
  buildSequencer(4, 168, 613, 48);
  buildSteps(4, 220, 613, 122);
  buildKeyboard(4, 346, 613, 87);
}

void EditorWindow::buildVoice(int x, int y, int w, int h) {
  panel(x, y, w, h, "VOICE");
  const int row1[] = {kCutOff, kResonance, kEnvMod, kDecay, kAccent};
  const int row2[] = {kTuning, kSlideTime, kGate, kVolume};
  for (int i = 0; i < 5; ++i) knob(x + 3 + i * (kCellW + 1), y + 16, row1[i]);
  for (int i = 0; i < 4; ++i) knob(x + 3 + i * (kCellW + 1), y + 76, row2[i]);
  int cx = x + 3 + 4 * (kCellW + 1);
  caption(cx + 2, y + 78, kCellW, paramControl(kWaveform).caption);
  choice(cx + 2, y + 96, kCellW - 4, kWaveform);
}

void EditorWindow::buildDistortion(int x, int y, int w, int h) {
  panel(x, y, w, h, "DISTORTION");
  toggle(x + w - 40, y + 3, 36, 16, kDisto)->label("On");
  caption(x + 6, y + 22, w - 12, paramControl(kDistSel).caption);
  choice(x + 6, y + 38, w - 12, kDistSel);
  knob(x + 2, y + 76, kDistParam1);
  knob(x + 2 + kCellW, y + 76, kDistParam2);
}

void EditorWindow::buildDelay(int x, int y, int w, int h) {
  panel(x, y, w, h, "DELAY");
  toggle(x + w - 40, y + 3, 36, 16, kDelayOn)->label("On");
  knob(x + 3, y + 16, kDelayTime);
  knob(x + 3 + kCellW + 1, y + 16, kDelayFeedback);
  knob(x + 3 + 2 * (kCellW + 1), y + 16, kDelayVolume);
  knob(x + 3, y + 76, kDelayFilter);
  toggle(x + kCellW + 10, y + 82, w - kCellW - 18, 22, kDelaySync)->label("Tempo sync");
  toggle(x + kCellW + 10, y + 108, w - kCellW - 18, 22, kDelayPing);
}

void EditorWindow::buildSequencer(int x, int y, int w, int h) {
  panel(x, y, w, h, nullptr);
  int cy = y + 2, wy = y + 17;
  int cx = x + 4;
  caption(cx, cy, 82, "Sync");
  choice(cx, wy, 82, kSyncTypeParam);
  cx += 86;
  caption(cx, cy, 56, "Tempo");
  tempo_ = new Fl_Spinner(cx, wy, 56, 24);
  styleSpinner(tempo_);
  tempo_->range(40, 300);
  tempo_->value(120);
  tempo_->user_data(reinterpret_cast<void*>(kTagTempo));
  tempo_->callback(widgetCallback);
  tempo_->tooltip("Tempo of the internal clock, BPM");
  cx += 61;
  caption(cx, cy, 56, "Clock");
  play_ = new Fl_Button(cx, wy, 26, 24, "@>");
  styleButton(play_);
  play_->labelsize(10);
  play_->user_data(reinterpret_cast<void*>(kTagPlay));
  play_->callback(widgetCallback);
  play_->tooltip("Start the internal clock");
  stop_ = new Fl_Button(cx + 28, wy, 26, 24, "@square");
  styleButton(stop_);
  stop_->labelsize(8);
  stop_->user_data(reinterpret_cast<void*>(kTagStop));
  stop_->callback(widgetCallback);
  stop_->tooltip("Stop the internal clock");
  cx += 59;
  caption(cx, cy, 34, "");
  Fl_Button* rec = toggle(cx, wy, 34, 24, kRecord);
  rec->selection_color(theme::kLed);
  rec->tooltip("Record notes from a MIDI keyboard into the pattern while it plays");
  cx += 39;
  caption(cx, cy, 140, "Pattern");
  Fl_Choice* pattern = choice(cx, wy, 50, kTriggerPattern);
  for (int i = 0; i < 64; ++i) pattern->add(kPatternLabels[i], 0, nullptr, nullptr, i < 32 ? 0 : FL_MENU_INACTIVE);
  pattern->value(0);
  name_ = new Fl_Button(cx + 52, wy, 84, 24);
  styleButton(name_);
  name_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  name_->labelcolor(theme::kAccent);
  name_->user_data(reinterpret_cast<void*>(kTagName));
  name_->callback(widgetCallback);
  name_->tooltip("Rename the pattern");
  cx += 140;
  caption(cx, cy, 50, paramControl(kNbStep).caption);
  length_ = new Fl_Spinner(cx, wy, 50, 24);
  styleSpinner(length_);
  length_->range(1, 64);
  length_->value(16);
  length_->user_data(reinterpret_cast<void*>(kTagLength));
  length_->callback(widgetCallback);
  length_->tooltip("Steps in the pattern");
  cx += 55;
  caption(cx, cy, 72, paramControl(kPattSync).caption);
  choice(cx, wy, 72, kPattSync)->tooltip("When a newly chosen pattern takes over");
  cx += 76;
  knob(cx, y + 4, kGroove, true);
}

void EditorWindow::buildSteps(int x, int y, int w, int h) {
  panel(x, y, w, h, "STEPS");
  for (int p = 0; p < 4; ++p) {
    Fl_Button* b = new Fl_Button(x + 52 + p * 52, y + 2, 50, 17, kPageLabels[p]);
    styleButton(b);
    b->type(FL_RADIO_BUTTON);
    b->labelsize(theme::kValueSize);
    b->user_data(reinterpret_cast<void*>(kTagPage0 + p));
    b->callback(widgetCallback);
    pages_[static_cast<size_t>(p)] = b;
  }
  pages_[0]->value(1);
  follow_ = new Fl_Check_Button(x + 266, y + 2, 66, 17, "Follow");
  follow_->labelsize(theme::kValueSize);
  follow_->labelcolor(theme::kText);
  follow_->selection_color(theme::kAccent);
  follow_->clear_visible_focus();
  follow_->value(1);
  follow_->tooltip("Turn the page with the playing step");
  follow_->user_data(reinterpret_cast<void*>(kTagFollow));
  Fl_Box* hint = new Fl_Box(x + 336, y + 2, w - 340, 17, "Drag notes up/down, right-click for a list");
  hint->align(FL_ALIGN_RIGHT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  hint->labelsize(theme::kValueSize);
  hint->labelcolor(theme::kDimText);
  grid_ = new StepGrid(x + 2, y + 22, w - 4, h - 24);
  grid_->onEdit = [this](int step, StepGrid::Field field, int value) {
    Commands::StepField f = field == StepGrid::Field::Accent
                                ? Commands::kAccent
                                : (field == StepGrid::Field::Slide ? Commands::kSlide : Commands::kNote);
    commands_.editStep(f, step, value);
  };
}

void EditorWindow::buildKeyboard(int x, int y, int w, int h) {
  panel(x, y, w, h, nullptr);
  Fl_Box* t = new Fl_Box(x + 4, y + 4, 40, 14, "KEYS");
  t->labelfont(theme::kBold);
  t->labelsize(theme::kTitleSize);
  t->labelcolor(theme::kAccent);
  octave_ = new Fl_Box(x + 4, y + 22, 40, 18);
  octave_->labelsize(12);
  octave_->labelcolor(theme::kText);
  octave_->tooltip("Lowest note of the computer keyboard (Z); Left/Right arrows shift it");
  Fl_Button* down = new Fl_Button(x + 4, y + 44, 19, 19, "@<");
  Fl_Button* up = new Fl_Button(x + 25, y + 44, 19, 19, "@>");
  for (Fl_Button* b : {down, up}) {
    styleButton(b);
    b->labelsize(8);
    b->callback(widgetCallback);
  }
  down->user_data(reinterpret_cast<void*>(kTagOctaveDown));
  up->user_data(reinterpret_cast<void*>(kTagOctaveUp));
  down->tooltip("Computer keyboard an octave down");
  up->tooltip("Computer keyboard an octave up");
  keys_ = new PianoKeys(x + 50, y + 3, w - 53, h - 6);
  keys_->onNote = [this](int note, bool on) { commands_.note(note, on); };
  shiftOctave(0);
}

void EditorWindow::sendFromWidget(Fl_Widget* w) {
  intptr_t tag = reinterpret_cast<intptr_t>(w->user_data());
  if (tag >= 0 && tag < kNumParameters) {
    int index = static_cast<int>(tag);
    float value = 0.0f;
    switch (paramControl(index).kind) {
      case ControlKind::Knob:
        value = static_cast<Knob*>(w)->value();
        break;
      case ControlKind::Switch:
        value = static_cast<Fl_Button*>(w)->value() ? 1.0f : 0.0f;
        break;
      case ControlKind::Choice:
        value = choiceToValue(index, static_cast<Fl_Choice*>(w)->value());
        break;
      case ControlKind::Count:
        return;
    }
    commands_.setParameter(index, value);
    return;
  }
  switch (tag) {
    case kTagLength:
      commands_.setParameter(kNbStep, lengthToValue(static_cast<int>(length_->value())));
      break;
    case kTagTempo:
      commands_.setParameter(kInternalTempo, tempoToValue(static_cast<int>(tempo_->value())));
      break;
    case kTagPlay:
      commands_.play();
      break;
    case kTagStop:
      commands_.stop();
      break;
    case kTagName:
      if (state_) menu_->renamePattern(*state_);
      break;
    case kTagOctaveDown:
      shiftOctave(-1);
      break;
    case kTagOctaveUp:
      shiftOctave(1);
      break;
    default:
      if (tag >= kTagPage0 && tag < kTagPage0 + 4) selectPage(static_cast<int>(tag - kTagPage0), true);
      break;
  }
}

void EditorWindow::selectPage(int page, bool byUser) {
  for (int p = 0; p < 4; ++p) pages_[static_cast<size_t>(p)]->value(p == page);
  grid_->page(page);
  // Choosing a page by hand while the sequencer plays elsewhere stops the
  // grid from turning the page under the user's pointer.
  if (byUser && playingStep_ >= 0 && playingStep_ / StepGrid::kStepsPerPage != page) follow_->value(0);
}

void EditorWindow::shiftOctave(int octaves) {
  releaseComputerKeys();
  int base = baseNote_ + 12 * octaves;
  if (base >= kLowestMidiNote && base <= kHighestMidiNote - 11) baseNote_ = base;
  octave_->copy_label(midiNoteName(baseNote_).c_str());
}

void EditorWindow::releaseComputerKeys() {
  for (int& held : heldKeys_) {
    if (held > 0) {
      keys_->hold(held - 1, false);
      commands_.note(held - 1, false);
    }
    held = 0;
  }
}

void EditorWindow::showParameter(const EditorState& state, int index) {
  state_ = &state;
  if (index < 0 || index >= kNumParameters) return;
  const ParamState& p = state.params[static_cast<size_t>(index)];
  size_t i = static_cast<size_t>(index);
  if (knobs_[i]) knobs_[i]->showValue(p.value, displayText(index, p.text.c_str()));
  if (toggles_[i]) toggles_[i]->value(p.value >= 0.5f);
  if (choices_[i] && index != kTriggerPattern) {
    int c = valueToChoice(index, p.value);
    if (choices_[i]->value() != c) choices_[i]->value(c);
  }
  if (index == kInternalTempo) {
    int bpm = valueToTempo(p.value);
    if (static_cast<int>(tempo_->value()) != bpm) tempo_->value(bpm);
  }
  if (index == kSyncTypeParam) showTransport(state);
}

void EditorWindow::showState(const EditorState& state) {
  state_ = &state;
  for (int i = 0; i < kNumParameters; ++i) showParameter(state, i);
  const PatternState& pattern = state.currentPattern();
  Fl_Choice* patternChoice = choices_[kTriggerPattern];
  if (patternChoice->value() != state.transport.pattern) patternChoice->value(state.transport.pattern);
  if (static_cast<int>(length_->value()) != pattern.length) length_->value(pattern.length);
  std::string name = pattern.name.empty() ? std::string("(no name)") : pattern.name;
  if (!name_->label() || name != name_->label()) name_->copy_label(name.c_str());
  grid_->showPattern(pattern);
  for (int p = 0; p < 4; ++p) {
    pages_[static_cast<size_t>(p)]->labelcolor(p * StepGrid::kStepsPerPage < pattern.length ? theme::kText
                                                                                             : theme::kDimText);
  }
  menu_->showState(state);
  showTransport(state);
  redraw();
}

void EditorWindow::showTransport(const EditorState& state) {
  const TransportState& t = state.transport;
  std::string text;
  if (t.syncType == 0) {
    text = t.hostPlaying ? "Host playing" : "Host stopped";
    if (t.tempo > 0) text += "  " + std::to_string(t.tempo) + " BPM";
  } else if (t.syncType == 1) {
    text = t.running ? "Internal clock running" : "Internal clock stopped";
  } else {
    text = "Playing from MIDI keys";
  }
  text += "   ";
  if (!status_->label() || text != status_->label()) status_->copy_label(text.c_str());
  bool lit = t.syncType == 0 ? t.hostPlaying : (t.syncType == 1 && t.running);
  status_->labelcolor(lit ? theme::kGreen : theme::kDimText);
  play_->color(t.running ? fl_rgb_color(46, 120, 64) : theme::kCell);
  bool internal = t.syncType == 1;
  if (internal != (play_->active() != 0)) {
    if (internal) {
      play_->activate();
      stop_->activate();
      tempo_->activate();
    } else {
      play_->deactivate();
      stop_->deactivate();
      tempo_->deactivate();
    }
  }
  status_->redraw();
  play_->redraw();
}

void EditorWindow::showPlayingStep(int step) {
  playingStep_ = step;
  if (step >= 0 && follow_->value()) {
    int page = step / StepGrid::kStepsPerPage;
    if (page != grid_->page()) selectPage(page, false);
  }
  grid_->showPlayingStep(step);
}

void EditorWindow::showIncomingNote(int midiNote, bool on) { keys_->light(midiNote, on); }

int EditorWindow::handle(int event) {
  // Keys reach a window only through a focus widget; no control here takes
  // focus except text entries, so the window keeps it for the keyboard piano.
  if (event == FL_PUSH) {
    int used = Fl_Double_Window::handle(event);
    if (!dynamic_cast<Fl_Input_*>(Fl::focus())) Fl::focus(this);
    return used;
  }
  if (event == FL_SHORTCUT && !Fl::focus()) {
    Fl::focus(this);
    if (!(Fl::event_state() & (FL_CTRL | FL_ALT | FL_META))) event = FL_KEYDOWN;  // a menu shortcut stays one
  }
  if (event == FL_FOCUS) return 1;
  if (event == FL_KEYDOWN || event == FL_KEYUP) {
    int key = Fl::event_key();
    if (event == FL_KEYDOWN && (key == FL_Left || key == FL_Right)) {
      shiftOctave(key == FL_Left ? -1 : 1);
      return 1;
    }
    if (Fl::event_state() & (FL_CTRL | FL_ALT | FL_META)) return Fl_Double_Window::handle(event);
    if (key > 0 && key < 128) {
      int& held = heldKeys_[key];
      if (event == FL_KEYDOWN) {
        int note = computerKeyNote(key, baseNote_);
        if (note < 0) return Fl_Double_Window::handle(event);
        if (held == 0) {  // key repeat sends more presses; play once
          held = note + 1;
          keys_->hold(note, true);
          commands_.note(note, true);
        }
        return 1;
      }
      if (held > 0) {
        keys_->hold(held - 1, false);
        commands_.note(held - 1, false);
        held = 0;
        return 1;
      }
    }
  }
  if (event == FL_UNFOCUS) releaseComputerKeys();
  return Fl_Double_Window::handle(event);
}
