// vornix-render end to end, one run per feature: the files of a stub render
// against the stub's known output, the default render, notes from a MIDI
// file in keyboard mode, a transport script with a stop, recording from a
// file, the sync types and refused input. The frames of the regions come
// from expected_values.py. (Exit codes 2, 3 and 4 of bad options, missing or
// broken plug-ins and unwritable files are checked by CMake tests.)
//
// Keyboard notes reach the voice at the start of the block that holds them
// while the band-limited oscillator is on (the instrument's default), so the
// regions keep one 512-frame block of margin on each side of the event
// times, plus the 441-frame release fade.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "SmfReader.h"
#include "WavWriter.h"

namespace {

#if defined(VORNIX_RENDER_EXE) && defined(VORNIX_RENDER_PLUGIN)

using Bytes = std::vector<uint8_t>;

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A run of the tool in a fresh directory, with input files written there first.
struct Rendering {
  std::string dir, out, err;
  int exitCode = -1;
  Rendering(const std::string& name, const std::string& args, const std::map<std::string, Bytes>& files = {},
            const char* plugin = VORNIX_RENDER_PLUGIN)
      : dir(::testing::TempDir() + "vornix_render_" + name) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const auto& [file, bytes] : files) {
      std::ofstream(dir + "/" + file, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    const std::string command = "cd '" + dir + "' && '" VORNIX_RENDER_EXE "' --plugin '" + plugin +
                                "' --quiet " + args + " >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    out = slurp(dir + "/stdout.txt");
    err = slurp(dir + "/stderr.txt");
  }
  // The left channel of the rendered WAV file.
  std::vector<float> left() const {
    SF_INFO info{};
    SNDFILE* f = sf_open((dir + "/vornix.wav").c_str(), SFM_READ, &info);
    std::vector<float> frames(static_cast<size_t>(info.frames * info.channels)), out(info.frames);
    if (f != nullptr) sf_readf_float(f, frames.data(), info.frames);
    sf_close(f);
    for (size_t i = 0; i < out.size(); ++i) out[i] = frames[i * info.channels];
    return out;
  }
  vxtools::SmfData midi() const {
    vxtools::SmfData smf;
    std::string error;
    EXPECT_TRUE(vxtools::readSmfFile(dir + "/vornix.mid", smf, error)) << error;
    return smf;
  }
};

double peak(const std::vector<float>& x, size_t from, size_t to) {
  double p = 0.0;
  for (size_t i = from; i < to; ++i) p = std::fmax(p, std::fabs(x.at(i)));
  return p;
}

double rms(const std::vector<float>& x, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(x.at(i)) * x[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

constexpr double kSilence = 1e-6;   // -120 dBFS
constexpr double kSounding = 0.03;  // -30 dBFS RMS; the bass line runs near -20

TEST(Render, StubAndDefaultRendersWriteTheirFiles) {
  // 3 bars at 90 BPM and 48000 Hz = 384000 frames; 750 blocks with one note
  // each plus the notes of the three stopped tail blocks; "delay" names the
  // padded "Delay ".
  const Rendering stub("stub", "--tempo 90 --bars 3 --rate 48000 --format pcm24 --param delay=1", {},
                       STUB_INSTRUMENT);
  ASSERT_EQ(stub.exitCode, 0) << stub.err;
  EXPECT_NE(stub.out.find("384000 frames"), std::string::npos) << stub.out;
  EXPECT_NE(stub.out.find("peak -6.0 dBFS, RMS -8.1 dBFS, 753 MIDI events"), std::string::npos) << stub.out;
  const Rendering real("default", "");
  ASSERT_EQ(real.exitCode, 0) << real.err;
  const struct {
    const Rendering& run;
    int64_t frames;
    int rate, bits;
    uint32_t tempo, events, lastTick;
    uint64_t tickSum, noteSum;
  } cases[] = {{stub, 384000, 48000, 24, 666667, 753, 5760, 2177280, 49308},
               {real, 352800, 44100, 32, 500000, 0, 0, 0, 0}};  // 4 bars at 120 BPM
  for (const auto& c : cases) {
    vxtools::WavInfo info;
    std::string error;
    ASSERT_TRUE(vxtools::readWavInfo(c.run.dir + "/vornix.wav", info, error)) << error;
    EXPECT_TRUE(info.frames == c.frames && info.sampleRate == c.rate && info.channels == 2 &&
                info.bitsPerSample == c.bits)
        << c.run.dir;
    const vxtools::SmfData smf = c.run.midi();
    EXPECT_TRUE(smf.format == 0 && smf.trackCount == 1 && smf.ticksPerBeat == 480);
    EXPECT_EQ(smf.tempos.at(0).microsecondsPerBeat, c.tempo);
    if (c.events == 0) continue;
    uint64_t tickSum = 0, noteSum = 0;
    for (const auto& e : smf.events) tickSum += e.tick, noteSum += e.data1;
    EXPECT_TRUE(smf.events.size() == c.events && smf.events.back().tick == c.lastTick &&
                tickSum == c.tickSum && noteSum == c.noteSum);
  }
}

// 96 ticks per beat; key 48 from tick 96 to 192, then 60 BPM, key 55 from
// 240 to 264: frames 22050, 44100, 66150, 77175 at 44100 Hz.
const Bytes kKeys = {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,    0,    0,    1,    0,    96,
                     'M',  'T',  'r',  'k',  0,    0,    0,    33,   0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1,
                     0x20, 0x60, 0x90, 0x30, 0x64, 0x60, 0x30, 0x00, 0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42,
                     0x40, 0x30, 0x90, 0x37, 0x64, 0x18, 0x80, 0x37, 0x00, 0x00, 0xFF, 0x2F, 0x00};

TEST(Render, KeyboardModeSoundsOnlyWhileKeysAreHeld) {
  const Rendering run("keys", "--sync midi --midi-in keys.mid --bars 1 --timing", {{"keys.mid", kKeys}});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (const char* text : {"88200 frames", "fed 4 of 4 input events", "ns per sample", "real-time factor"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << run.out;
  }
  const std::vector<float> left = run.left();
  ASSERT_EQ(left.size(), 88200u);
  EXPECT_LT(peak(left, 0, 21504), kSilence);            // before key 48
  EXPECT_GT(rms(left, 22562, 43588), kSounding);        // key 48 held
  EXPECT_LT(peak(left, 44541 + 512, 65638), kSilence);  // released and faded; key 55 not yet down
  EXPECT_GT(rms(left, 66662, 76663), kSounding);        // key 55 held (after the tempo change)
  EXPECT_LT(peak(left, 77616 + 512, 88200), kSilence);  // all keys up
}

TEST(Render, TransportStopIsSilentAfterItsFadeAndNoNoteHangs) {
  // Beat 4 = frame 88200: stop; beat 5 = frame 110250: play on from song beat 16.
  const Rendering run("transport", "--bars 2 --transport '0:play@0, 4:stop, 5:play@16'");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<float> left = run.left();
  ASSERT_EQ(left.size(), 176400u);
  EXPECT_GT(rms(left, 0, 88200), kSounding);
  EXPECT_GT(peak(left, 88200, 88641), kSilence);  // the 441-sample fade
  EXPECT_LT(peak(left, 88641, 110250), kSilence);
  EXPECT_GT(rms(left, 110250, 176400), kSounding);
  // Every note-on is followed by a note-off of its key (a tie on one key
  // sends the next note-on first; the single note-off releases both). At 480
  // ticks per beat the fade ends 9.6 ticks after the stop at tick 1920, and
  // nothing starts until the restart at tick 2400.
  std::map<int, bool> sounding;
  int noteOns = 0;
  for (const vxtools::SmfEvent& e : run.midi().events) {
    const bool on = (e.status & 0xF0) == 0x90 && e.data2 != 0;
    noteOns += on;
    EXPECT_FALSE(on && e.tick > 1930 && e.tick < 2400) << "note-on at tick " << e.tick;
    EXPECT_TRUE(on || sounding[e.data1]) << "note-off of key " << int(e.data1) << " that is not on";
    sounding[e.data1] = on;
  }
  EXPECT_GT(noteOns, 8);
  for (const auto& [key, on] : sounding) EXPECT_FALSE(on) << "key " << key << " never released";
}

TEST(Render, RecordingTakesTheHeldKeyOfTheFile) {
  // Key 60 at velocity 100 held for two beats (192 ticks at 96 per beat): the
  // eight sixteenths (120 ticks each) under it become key 60, accented
  // (100 > 82); the step at beat 2 finds the key released.
  const Bytes hold = {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,    0,    0,    1,
                      0,    96,   'M',  'T',  'r',  'k',  0,    0,    0,    13,   0x00, 0x90,
                      0x3C, 0x64, 0x81, 0x40, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};
  const Rendering run("record", "--midi-in hold.mid --param 28=1 --bars 1", {{"hold.mid", hold}});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<vxtools::SmfEvent> ons;
  for (const vxtools::SmfEvent& e : run.midi().events) {
    if ((e.status & 0xF0) == 0x90 && e.data2 != 0) ons.push_back(e);
  }
  ASSERT_GE(ons.size(), 9u);
  for (size_t k = 0; k < 8; ++k)
    EXPECT_TRUE(ons[k].tick == 120 * k && ons[k].data1 == 60 && ons[k].data2 == 127) << k;
  EXPECT_TRUE(ons[8].tick == 960u && !(ons[8].data1 == 60 && ons[8].data2 == 127));
}

TEST(Render, SyncTypesAndRefusedInput) {
  // The internal clock waits for the editor's play button: silence, said so.
  // Keyboard mode without notes is silent too; host sync plays the bass line.
  const struct {
    const char* sync;
    bool silent;
    const char* says;
  } syncs[] = {{"internal", true, "internal clock starts only from the editor"},
               {"midi", true, ""},
               {"host", false, ""}};
  for (const auto& [sync, silent, says] : syncs) {
    const Rendering run("sync", std::string("--bars 1 --sync ") + sync);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.find("(silent)") != std::string::npos, silent) << run.out;
    EXPECT_NE(run.out.find(says), std::string::npos) << run.out;
  }
  // A cut MIDI file, a bad script and an unknown sync type: exit 2 with the reason.
  const std::pair<const char*, const char*> refused[] = {
      {"--midi-in cut.mid", "cut.mid: chunk of 33 bytes runs past the end"},
      {"--transport '1:play,0:stop'", "times must rise"},
      {"--sync keyboard", "keyboard"}};
  for (const auto& [args, why] : refused) {
    const Rendering run("refused", args, {{"cut.mid", Bytes(kKeys.begin(), kKeys.end() - 10)}});
    EXPECT_EQ(run.exitCode, 2) << args;
    EXPECT_NE(run.err.find(why), std::string::npos) << run.err;
  }
}

#else
TEST(Render, NeedsTheInstrument) { GTEST_SKIP() << "built without the plug-in target"; }
#endif

}  // namespace
