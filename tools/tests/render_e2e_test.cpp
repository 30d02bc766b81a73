// vornix-render end to end with the real instrument: notes from a MIDI file in
// keyboard mode, a transport script with a stop, the sync types, --timing and
// a broken input file. The frames of the regions come from expected_values.py.
//
// Keyboard notes reach the voice at the start of the block that holds them
// while the band-limited oscillator is on (the instrument's default, which a
// host cannot change), so every region below keeps one 512-frame block of
// margin on each side of the event times, plus the 441-frame release fade.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "SmfReader.h"

namespace {

#if defined(VORNIX_RENDER_EXE) && defined(VORNIX_RENDER_PLUGIN)

struct RenderRun {
  int exitCode = -1;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the tool in dir (files named there are relative to it).
RenderRun render(const std::string& dir, const std::string& args) {
  const std::string command = "cd '" + dir +
                              "' && '" VORNIX_RENDER_EXE "' --plugin '" VORNIX_RENDER_PLUGIN "' --quiet " +
                              args + " >stdout.txt 2>stderr.txt";
  RenderRun run;
  const int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = slurp(dir + "/stdout.txt");
  run.err = slurp(dir + "/stderr.txt");
  return run;
}

std::string freshDir(const std::string& name) {
  const std::string dir = ::testing::TempDir() + "vornix_render_" + name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The left channel of a rendered WAV file.
std::vector<float> leftChannel(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return {};
  std::vector<float> frames(static_cast<size_t>(info.frames * info.channels));
  sf_readf_float(f, frames.data(), info.frames);
  sf_close(f);
  std::vector<float> left(static_cast<size_t>(info.frames));
  for (size_t i = 0; i < left.size(); ++i) left[i] = frames[i * static_cast<size_t>(info.channels)];
  return left;
}

double peak(const std::vector<float>& x, size_t from, size_t to) {
  double p = 0.0;
  for (size_t i = from; i < to && i < x.size(); ++i) p = std::fmax(p, std::fabs(x[i]));
  return p;
}

double rms(const std::vector<float>& x, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

constexpr double kSilence = 1e-6;   // -120 dBFS
constexpr double kSounding = 0.03;  // -30 dBFS RMS; the bass line runs near -20

// 96 ticks per beat; key 48 from tick 96 to 192, then 60 BPM, key 55 from
// 240 to 264: frames 22050, 44100, 66150, 77175 at 44100 Hz.
// clang-format off
const std::vector<uint8_t> kKeys = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 33,
    0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x60, 0x90, 0x30, 0x64, 0x60, 0x30, 0x00,
    0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x30, 0x90, 0x37, 0x64, 0x18, 0x80, 0x37,
    0x00, 0x00, 0xFF, 0x2F, 0x00};
// clang-format on

TEST(Render, KeyboardModeSoundsOnlyWhileKeysAreHeld) {
  const std::string dir = freshDir("keys");
  writeBytes(dir + "/keys.mid", kKeys);
  const RenderRun run = render(dir, "--sync midi --midi-in keys.mid --bars 1 --timing");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("88200 frames"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("fed 4 of 4 input events"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("ns per sample"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("real-time factor"), std::string::npos) << run.out;

  const std::vector<float> left = leftChannel(dir + "/vornix.wav");
  ASSERT_EQ(left.size(), 88200u);
  EXPECT_LT(peak(left, 0, 21504), kSilence);            // before key 48
  EXPECT_GT(rms(left, 22562, 43588), kSounding);        // key 48 held
  EXPECT_LT(peak(left, 44541 + 512, 65638), kSilence);  // released and faded; key 55 not yet down
  EXPECT_GT(rms(left, 66662, 76663), kSounding);        // key 55 held (after the tempo change)
  EXPECT_LT(peak(left, 77616 + 512, 88200), kSilence);  // all keys up
}

TEST(Render, TransportStopIsSilentAfterItsFadeAndNoNoteHangs) {
  const std::string dir = freshDir("transport");
  // Beat 4 = frame 88200: stop; beat 5 = frame 110250: play on from song beat 16.
  const RenderRun run = render(dir, "--bars 2 --transport '0:play@0, 4:stop, 5:play@16'");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::vector<float> left = leftChannel(dir + "/vornix.wav");
  ASSERT_EQ(left.size(), 176400u);
  EXPECT_GT(rms(left, 0, 88200), kSounding);
  EXPECT_GT(peak(left, 88200, 88641), kSilence);    // the 441-sample fade
  EXPECT_LT(peak(left, 88641, 110250), kSilence);   // stopped
  EXPECT_GT(rms(left, 110250, 176400), kSounding);  // playing again

  vxtools::SmfData midi;
  std::string error;
  ASSERT_TRUE(vxtools::readSmfFile(dir + "/vornix.mid", midi, error)) << error;
  // Every note-on is followed by a note-off of its key. (A tie on one key
  // sends the next note-on before the note-off of the previous one; that
  // single note-off releases both.)
  std::map<int, bool> sounding;
  int noteOns = 0;
  for (const vxtools::SmfEvent& e : midi.events) {
    const bool on = (e.status & 0xF0) == 0x90 && e.data2 != 0;
    if (on) {
      ++noteOns;
      // 480 ticks per beat. The clock runs on through the fade, which ends
      // 441 frames (9.6 ticks) after the stop at tick 1920; after it nothing
      // starts until the restart at tick 2400.
      EXPECT_FALSE(e.tick > 1930 && e.tick < 2400) << "note-on at tick " << e.tick;
    } else {
      EXPECT_TRUE(sounding[e.data1]) << "note-off of key " << int(e.data1) << " that is not on";
    }
    sounding[e.data1] = on;
  }
  EXPECT_GT(noteOns, 8);
  for (const auto& [key, on] : sounding) EXPECT_FALSE(on) << "key " << key << " never released";
}

TEST(Render, RecordingTakesTheHeldKeyOfTheFile) {
  const std::string dir = freshDir("record");
  // Key 60 at velocity 100 held for two beats (192 ticks at 96 per beat).
  // clang-format off
  writeBytes(dir + "/hold.mid", {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                                 'M', 'T', 'r', 'k', 0, 0, 0, 13,
                                 0x00, 0x90, 0x3C, 0x64, 0x81, 0x40, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00});
  // clang-format on
  const RenderRun run = render(dir, "--midi-in hold.mid --param 28=1 --bars 1");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  vxtools::SmfData midi;
  std::string error;
  ASSERT_TRUE(vxtools::readSmfFile(dir + "/vornix.mid", midi, error)) << error;
  std::vector<vxtools::SmfEvent> ons;
  for (const vxtools::SmfEvent& e : midi.events)
    if ((e.status & 0xF0) == 0x90 && e.data2 != 0) ons.push_back(e);
  // The eight steps under the key (a sixteenth is 120 ticks) become key 60,
  // accented since 100 > 82; the step at beat 2 finds the key released.
  ASSERT_GE(ons.size(), 9u);
  for (size_t k = 0; k < 8; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(ons[k].tick, 120 * k);
    EXPECT_EQ(ons[k].data1, 60);
    EXPECT_EQ(ons[k].data2, 127);
  }
  EXPECT_EQ(ons[8].tick, 960u);
  EXPECT_FALSE(ons[8].data1 == 60 && ons[8].data2 == 127);
}

TEST(Render, SyncTypesAndBadInput) {
  const std::string dir = freshDir("sync");
  // The internal clock waits for the editor's play button: silence, said so.
  RenderRun run = render(dir, "--sync internal --tempo 140 --bars 1");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("(silent)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("internal clock starts only from the editor"), std::string::npos);
  // Keyboard mode without notes is silent too; host sync plays the bass line.
  run = render(dir, "--sync midi --bars 1");
  EXPECT_NE(run.out.find("(silent)"), std::string::npos) << run.out;
  run = render(dir, "--sync host --bars 1");
  EXPECT_EQ(run.out.find("(silent)"), std::string::npos) << run.out;

  // A cut MIDI file and a bad script: exit 2 with the reason, no render.
  writeBytes(dir + "/cut.mid", std::vector<uint8_t>(kKeys.begin(), kKeys.end() - 10));
  run = render(dir, "--midi-in cut.mid");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("cut.mid: chunk of 33 bytes runs past the end"), std::string::npos) << run.err;
  run = render(dir, "--transport '1:play,0:stop'");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("times must rise"), std::string::npos) << run.err;
  run = render(dir, "--sync keyboard");
  EXPECT_EQ(run.exitCode, 2);
}

#else
TEST(Render, NeedsTheInstrument) { GTEST_SKIP() << "built without the plug-in target"; }
#endif

}  // namespace
