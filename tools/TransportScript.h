// A script of host-transport changes during a render, so that a render can
// stop, restart and relocate the host's transport the way a user does:
//
//   "0:play@0, 8:stop, 10:play@16"
//
// Each cue is TIME ':' ACTION, cues separated by commas, blanks allowed
// around every token.
//   TIME    render time in beats at the render's tempo (--tempo), counted from
//           the first frame and running on while the transport is stopped:
//           at 120 BPM and 44100 Hz, beat 2.5 is frame 55125. Times rise
//           strictly from cue to cue.
//   ACTION  "play" or "stop", optionally "@PPQ" to move the transport to that
//           position in quarter notes at the same moment ("play@16" starts
//           playing from beat 16 of the song, "stop@0" stops and rewinds).
// Numbers are plain decimals with a '.' whatever the locale, not negative.
//
// With a script the transport stands stopped at position 0 until its first
// cue. The block that starts at a cue's frame reports the change to the
// instrument (the render cuts its blocks there); the position advances while
// the transport plays and holds while it is stopped.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace vxtools {

class MidiFeed;
class PluginHost;

struct TransportCue {
  double beat = 0.0;    // render time of the change, in beats
  bool play = false;    // playing after the cue
  bool locate = false;  // the cue also moves the position
  double ppq = 0.0;     // the position it moves to, in quarter notes
};

// Parses a script; on failure fills error (naming the cue) and returns false.
bool parseTransportScript(const std::string& text, std::vector<TransportCue>& cues, std::string& error);

// Frame of a render time in beats: beats × 60 × rate / bpm, rounded to the
// nearest frame (halves up).
int64_t beatsToFrames(double beats, double sampleRate, double bpm);

// Applies the cues of a script to a host as the render reaches them.
class TransportSchedule {
 public:
  static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

  TransportSchedule(const std::vector<TransportCue>& cues, double sampleRate, double bpm);

  // Applies every cue due at or before frame, in order.
  void applyDue(int64_t frame, PluginHost& host);
  // Frame of the next cue not yet applied, or kNever.
  int64_t nextFrame() const;

 private:
  struct Timed {
    int64_t frame;
    TransportCue cue;
  };
  std::vector<Timed> m_cues;
  size_t m_next = 0;
};

// Sets up the render's block that starts at frame start and returns its
// length: applies the cues due there, then ends the block at blockSize, at
// the end of the render (remaining frames), at the next cue, or where the
// feed cuts it, and queues the block's MIDI.
int prepareBlock(PluginHost& host, TransportSchedule& schedule, MidiFeed& feed, int64_t start,
                 int64_t remaining, int blockSize);

}  // namespace vxtools
