// The on-screen keyboard over MIDI notes 36..95. Mouse presses and glides
// play notes; notes the instrument reports (from MIDI input or the
// sequencer's echo) light up in amber, keys played here in the accent colour.
// The C keys carry their names so the octaves can be read at a glance.
#pragma once

#include <FL/Fl_Widget.H>

#include <bitset>
#include <functional>

class PianoKeys : public Fl_Widget {
 public:
  PianoKeys(int x, int y, int w, int h);

  // Notes from the instrument.
  void light(int midiNote, bool on);
  void clearLights();
  // Keys held here (mouse or computer keyboard), drawn pressed.
  void hold(int midiNote, bool on);

  // Note on (true) or off (false) for the instrument.
  std::function<void(int midiNote, bool on)> onNote;

 protected:
  void draw() override;
  int handle(int event) override;

 private:
  void drawKey(int note);
  void mouseNote(int note);

  std::bitset<128> lit_;
  std::bitset<128> held_;
  int mouseNote_ = -1;
};
