// vornix-render: renders the instrument offline, as a host would play it, to a
// WAV file (audio) and a Standard MIDI File (the notes it sends to the host).
// It can feed the instrument the notes of a MIDI file, choose its sync type,
// and stop, restart and relocate the host transport mid-render by script.
//
// It can also start from a bank file or a pattern file.
//
// Exit codes: 0 success, 2 bad arguments or parameters (a pattern, bank or
// MIDI file that cannot be read too), 3 the plug-in cannot be loaded or
// created, 4 an output file cannot be written.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "LevelMeter.h"
#include "MidiFeed.h"
#include "ParamMatcher.h"
#include "PatternInput.h"
#include "PluginHost.h"
#include "SmfReader.h"
#include "SmfWriter.h"
#include "TransportScript.h"
#include "WavWriter.h"
#include "plugin/Tolvane.h"

#ifndef VORNIX_RENDER_PLUGIN_PATH
#define VORNIX_RENDER_PLUGIN_PATH ""
#endif

namespace {

constexpr int kExitBadArguments = 2;
constexpr int kExitPluginFailed = 3;
constexpr int kExitCannotWrite = 4;
constexpr int kTicksPerBeat = 480;
// Renders longer than this show their progress even when stderr is not a terminal.
constexpr double kLongRenderSeconds = 600.0;
// Frames the instrument runs on after the transport stops at the end: more
// than its 441-sample stop fade.
constexpr int64_t kStopTailFrames = 1024;

// The instrument's parameters without a name: the sync type (0.0 host sync,
// 0.5 internal clock, 0.9 MIDI keyboard, the middle of each band) and the
// internal clock's tempo, normalised over 40..300 BPM.
constexpr int kSyncTypeParam = 26;
constexpr int kInternalTempoParam = 27;
constexpr double kInternalTempoMin = 40.0;
constexpr double kInternalTempoSpan = 260.0;

struct Options {
  std::string out = "vornix.wav";
  std::string midiOut = "vornix.mid";
  double tempo = 120.0;
  int bars = 4;
  int rate = 44100;
  int block = 512;
  std::vector<std::string> params;
  std::string plugin = VORNIX_RENDER_PLUGIN_PATH;
  std::string format = "float";
  bool quiet = false;
  std::string sync;  // empty: leave the instrument's own sync type
  std::string midiIn;
  std::string transport;
  bool timing = false;
  std::string pattern;  // pattern file imported into the current pattern, with its settings
  std::string bank;     // bank file: the whole state
};

float syncTypeValue(const std::string& sync) {
  if (sync == "internal") return 0.5f;
  if (sync == "midi") return 0.9f;
  return 0.0f;
}

// One decimal; levels of silence print as -inf.
std::string formatOneDecimal(double v) {
  if (std::isinf(v)) return v < 0 ? "-inf" : "+inf";
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f", v);
  return text;
}

// The tempo as given, without trailing zeros: 120, 128.5, 33.3.
std::string formatTempo(double bpm) {
  char text[32];
  std::snprintf(text, sizeof(text), "%g", bpm);
  return text;
}

// A one-line progress report on stderr, redrawn in place with '\r' at most
// ten times a second.
class Progress {
 public:
  Progress(bool enabled, int64_t total, double rate)
      : m_enabled(enabled), m_total(total), m_rate(rate), m_terminal(isatty(STDERR_FILENO) != 0) {}

  void update(int64_t done) {
    if (!m_enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (m_shown && now - m_last < std::chrono::milliseconds(100) && done < m_total) return;
    m_last = now;
    m_shown = true;
    std::fprintf(stderr, "\rrendering %3d%%  %.1f s of %.1f s", percent(done),
                 static_cast<double>(done) / m_rate, static_cast<double>(m_total) / m_rate);
    std::fflush(stderr);
  }

  void finish() {
    if (!m_shown) return;
    // On a terminal the line disappears; in a log it stays, ended properly.
    std::fputs(m_terminal ? "\r                                          \r" : "\n", stderr);
    std::fflush(stderr);
  }

 private:
  int percent(int64_t done) const {
    return m_total > 0 ? static_cast<int>(done * 100 / m_total) : 100;
  }

  bool m_enabled;
  int64_t m_total;
  double m_rate;
  bool m_terminal;
  bool m_shown = false;
  std::chrono::steady_clock::time_point m_last{};
};

bool checkWritable(const std::string& path, std::string& error) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) {
    error = path + ": cannot open for writing";
    return false;
  }
  std::fclose(f);
  return true;
}

int render(const Options& opt) {
  // Everything the command line names is checked before the plug-in loads.
  std::vector<vxtools::TransportCue> cues;
  std::string error;
  if (!opt.transport.empty() && !vxtools::parseTransportScript(opt.transport, cues, error)) {
    std::fprintf(stderr, "vornix-render: --transport: %s\n", error.c_str());
    return kExitBadArguments;
  }
  vxtools::SmfData midiIn;
  if (!opt.midiIn.empty() && !vxtools::readSmfFile(opt.midiIn, midiIn, error)) {
    std::fprintf(stderr, "vornix-render: --midi-in: %s\n", error.c_str());
    return kExitBadArguments;
  }

  // The files become one state chunk: what a fresh instrument holds after
  // importing the bank and then the pattern into its current pattern slot.
  std::vector<uint8_t> state;
  if (!opt.bank.empty() || !opt.pattern.empty()) {
    vxtools::FreshInstrument fresh;
    for (const std::string* path : {&opt.bank, &opt.pattern}) {
      if (path->empty()) continue;
      vxtools::PatternInput input;
      FileError refused = vxtools::loadPatternInput(*path, input);
      const char* reason = describe(refused);
      if (refused == FileError::None && (path == &opt.bank) != (input.format == PatternFormat::Bank)) {
        refused = FileError::UnknownFormat;
        reason = path == &opt.bank ? "not a bank file" : "a bank file, not a pattern file (use --bank)";
      } else if (refused == FileError::None) {
        refused = fresh.load(input);
        reason = describe(refused);
      }
      if (refused != FileError::None) {
        std::fprintf(stderr, "vornix-render: %s: %s\n", path->c_str(), reason);
        return kExitBadArguments;
      }
    }
    void* data = nullptr;
    const VstInt32 size = fresh.synth().getChunk(&data, false);
    state.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  }

  if (opt.plugin.empty()) {
    std::fprintf(stderr, "vornix-render: no plug-in path given (use --plugin PATH)\n");
    return kExitPluginFailed;
  }
  vxtools::PluginHost host;
  if (host.load(opt.plugin, error) != vxtools::LoadError::None) {
    std::fprintf(stderr, "vornix-render: %s\n", error.c_str());
    return kExitPluginFailed;
  }
  host.start(opt.rate, opt.block);

  // Parameters by name, resolved against what the instrument reports.
  const std::vector<std::string> names = host.paramNames();
  std::vector<std::pair<int, float>> assignments;
  for (const std::string& text : opt.params) {
    std::string name;
    float value = 0.0f;
    if (!vxtools::splitAssignment(text, name, value, error)) {
      std::fprintf(stderr, "vornix-render: --param: %s\n", error.c_str());
      return kExitBadArguments;
    }
    const int index = vxtools::matchParameter(names, name, error);
    if (index < 0) {
      std::fprintf(stderr, "vornix-render: --param: %s\n", error.c_str());
      return kExitBadArguments;
    }
    assignments.emplace_back(index, value);
  }

  vxtools::WavWriter wav;
  if (!wav.open(opt.out, opt.rate, 2,
                opt.format == "pcm24" ? vxtools::WavFormat::Pcm24 : vxtools::WavFormat::Float32,
                error) ||
      !checkWritable(opt.midiOut, error)) {
    std::fprintf(stderr, "vornix-render: %s\n", error.c_str());
    return kExitCannotWrite;
  }

  if (!state.empty() &&
      host.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(state.size()), state.data()) != 1) {
    std::fprintf(stderr, "vornix-render: the plug-in refused the state of --bank/--pattern\n");
    return kExitBadArguments;
  }
  if (!opt.sync.empty()) {
    if (host.numParams() <= kSyncTypeParam) {
      std::fprintf(stderr, "vornix-render: --sync: the plug-in has no sync-type parameter\n");
      return kExitBadArguments;
    }
    if (opt.sync == "internal") {
      // The clock's tempo first: the sync change retunes the delay to it.
      const double bpm = std::clamp(opt.tempo, kInternalTempoMin,
                                    kInternalTempoMin + kInternalTempoSpan);
      host.setParameter(kInternalTempoParam,
                        static_cast<float>((bpm - kInternalTempoMin) / kInternalTempoSpan));
    }
    host.setParameter(kSyncTypeParam, syncTypeValue(opt.sync));
  }
  // Explicit parameters come last, so they win over what --sync set.
  for (const auto& [index, value] : assignments) host.setParameter(index, value);

  vxtools::Transport transport;
  transport.playing = cues.empty();  // a script starts from a stopped transport
  transport.tempo = opt.tempo;
  host.setTransport(transport);
  vxtools::TransportSchedule schedule(cues, opt.rate, opt.tempo);
  vxtools::MidiFeed feed(midiIn, opt.rate);

  const int beatsPerBar = transport.timeSigNumerator;
  const int64_t totalFrames =
      std::llround(static_cast<double>(opt.bars) * beatsPerBar * 60.0 * opt.rate / opt.tempo);
  const bool showProgress =
      !opt.quiet && (isatty(STDERR_FILENO) ||
                     static_cast<double>(totalFrames) / opt.rate >= kLongRenderSeconds);
  Progress progress(showProgress, totalFrames, opt.rate);
  vxtools::LevelMeter meter;
  std::vector<float> interleaved(static_cast<size_t>(opt.block) * 2);

  int64_t done = 0;
  std::chrono::steady_clock::duration processing{};
  while (done < totalFrames) {
    // A block ends where the next transport change begins.
    const int frames = vxtools::prepareBlock(host, schedule, feed, done, totalFrames - done, opt.block);
    const auto before = std::chrono::steady_clock::now();
    host.processBlock(frames);
    processing += std::chrono::steady_clock::now() - before;
    const float* left = host.output(0);
    const float* right = host.output(1);
    for (int i = 0; i < frames; ++i) {
      interleaved[static_cast<size_t>(2 * i)] = left[i];
      interleaved[static_cast<size_t>(2 * i + 1)] = right[i];
    }
    meter.add(left, right, frames);
    if (!wav.write(interleaved.data(), frames, error)) {
      progress.finish();
      std::fprintf(stderr, "vornix-render: %s\n", error.c_str());
      return kExitCannotWrite;
    }
    done += frames;
    progress.update(done);
  }
  progress.finish();

  // Stop the transport, as a host does at the end of a song, so that the
  // instrument sends the note-offs of notes still held. It fades out first
  // (and its clock may start one more step meanwhile), and releases its notes
  // at the first block that finds it stopped: so the tail runs at least
  // kStopTailFrames and then one block more. Its audio is not part of the
  // render; its MIDI lands on the last frame.
  transport = host.transport();
  transport.playing = false;
  host.setTransport(transport);
  for (int64_t tail = 0; tail < kStopTailFrames; tail += opt.block) host.processBlock(opt.block);
  host.processBlock(opt.block);
  host.unload();

  if (!wav.close(error)) {
    std::fprintf(stderr, "vornix-render: %s\n", error.c_str());
    return kExitCannotWrite;
  }

  vxtools::SmfWriter smf(kTicksPerBeat);
  smf.setTempo(opt.tempo);
  smf.setTimeSignature(transport.timeSigNumerator, transport.timeSigDenominator);
  for (const vxtools::CapturedMidi& m : host.capturedMidi()) {
    const int64_t frame = std::min(m.frame, totalFrames);
    smf.addEvent(vxtools::framesToTicks(frame, opt.rate, opt.tempo, kTicksPerBeat), m.data[0],
                 m.data[1], m.data[2]);
  }
  if (!smf.write(opt.midiOut, error)) {
    std::fprintf(stderr, "vornix-render: %s\n", error.c_str());
    return kExitCannotWrite;
  }

  // The summary reports what was measured, nothing more: a silent render is
  // called silent.
  std::string summary = "vornix-render: " + std::to_string(totalFrames) + " frames (" +
                        std::to_string(opt.bars) + (opt.bars == 1 ? " bar" : " bars") + " at " +
                        formatTempo(opt.tempo) + " BPM, " + std::to_string(opt.rate) +
                        " Hz), peak " + formatOneDecimal(meter.peakDb()) + " dBFS, RMS " +
                        formatOneDecimal(meter.rmsDb()) + " dBFS";
  if (meter.peak() == 0.0 && meter.nonFiniteSamples() == 0) summary += " (silent)";
  if (meter.nonFiniteSamples() > 0)
    summary += ", " + std::to_string(meter.nonFiniteSamples()) + " non-finite samples";
  summary += ", " + std::to_string(smf.eventCount()) + " MIDI events";
  if (host.droppedMidi() > 0)
    summary += " (" + std::to_string(host.droppedMidi()) + " not captured)";
  if (!opt.midiIn.empty()) {
    summary += ", fed " + std::to_string(feed.fed()) + " of " +
               std::to_string(feed.events().size()) + " input events";
    if (feed.dropped() > 0) summary += " (" + std::to_string(feed.dropped()) + " dropped)";
  }
  if (opt.sync == "internal") summary += " (the internal clock starts only from the editor)";
  summary += "; wrote " + opt.out + ", " + opt.midiOut;
  std::printf("%s\n", summary.c_str());

  if (opt.timing) {
    // Time spent inside the instrument's processing calls only, not in file
    // writing: what a host's audio thread would spend.
    const double seconds = std::chrono::duration<double>(processing).count();
    const double audioSeconds = static_cast<double>(totalFrames) / opt.rate;
    char line[160];
    std::snprintf(line, sizeof(line),
                  "vornix-render: timing: %.3f s to render %.3f s of audio, %.1f ns per sample, "
                  "real-time factor %.1fx",
                  seconds, audioSeconds, seconds * 1e9 / static_cast<double>(totalFrames),
                  seconds > 0.0 ? audioSeconds / seconds : 0.0);
    std::printf("%s\n", line);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  CLI::App app{"Renders the Vornix instrument offline to a WAV file and a MIDI file.",
               "vornix-render"};
  app.add_option("--out", opt.out, "WAV file to write")->capture_default_str();
  app.add_option("--midi-out", opt.midiOut, "Standard MIDI File of the notes the instrument sends")
      ->capture_default_str();
  app.add_option("--tempo", opt.tempo, "host tempo in BPM; with --sync internal also the internal clock's tempo (40..300)")
      ->capture_default_str()
      ->check(CLI::Range(1.0, 999.0));
  app.add_option("--bars", opt.bars, "number of 4/4 bars to render")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  app.add_option("--rate", opt.rate, "sample rate in Hz")
      ->capture_default_str()
      ->check(CLI::Range(8000, 384000));
  app.add_option("--block", opt.block, "frames per processing block")
      ->capture_default_str()
      ->check(CLI::Range(1, 16384));
  app.add_option("--param", opt.params,
                 "NAME=VALUE: set a parameter (by name or index) to a normalised value 0..1; "
                 "repeatable")
      ->allow_extra_args(false);
  app.add_option("--plugin", opt.plugin, "the plug-in module to load")->capture_default_str();
  app.add_option("--format", opt.format, "WAV sample format")
      ->capture_default_str()
      ->check(CLI::IsMember({"float", "pcm24"}));
  app.add_flag("--quiet", opt.quiet, "no progress line");
  app.add_option("--sync", opt.sync,
                 "sync type: host (follow the host transport), internal (own clock at --tempo; "
                 "that clock starts only from the editor's play button, which no host call "
                 "reaches, so the render stays silent and says so), midi (MIDI keyboard: "
                 "notes from --midi-in play the voice). Without it the instrument's default, "
                 "host sync, holds; --param values are applied after it")
      ->check(CLI::IsMember({"host", "internal", "midi"}));
  app.add_option("--midi-in", opt.midiIn,
                 "Standard MIDI File (format 0 or 1) whose note on/off and pitch-bend events are "
                 "sent to the instrument at their sample positions; its time starts at the "
                 "render's first frame and follows its own tempo events. Plays the voice with "
                 "--sync midi, records into the pattern with --param 28=1 in host sync");
  app.add_option("--transport", opt.transport,
                 "host transport script, e.g. \"0:play@0,8:stop,10:play@16\": cues TIME:ACTION "
                 "where TIME is render time in beats at --tempo (running on while stopped, "
                 "rising from cue to cue) and ACTION is play or stop, with @PPQ to move to that "
                 "song position in beats. The transport stands stopped at 0 until the first cue");
  app.add_option("--pattern", opt.pattern,
                 "pattern file (.303, ABL2/ABL3 .pat or Phoscyon .phptr) imported into the current "
                 "pattern with its parameter values or settings, as the instrument imports it; "
                 "applied after --bank and before --sync and --param");
  app.add_option("--bank", opt.bank, "bank file (.b303): the instrument's whole state, all 64 patterns");
  app.add_flag("--timing", opt.timing,
               "print the processing time, ns per sample and the real-time factor");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help arrives here too, with a success code.
    const int rc = app.exit(e);
    return rc == 0 ? 0 : kExitBadArguments;
  }
  return render(opt);
}
