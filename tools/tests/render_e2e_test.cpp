// vornix-render end to end, one run per feature: a stub render against the
// stub's known output, the default render, notes from a MIDI file in
// keyboard mode, a transport script with a stop, the internal clock, and
// refused input. Frames and MIDI figures come from expected_values.py. (Exit
// codes 2, 3 and 4 for bad options, missing or broken plug-ins and
// unwritable files are checked by CMake tests.)
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

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

// 96 ticks per beat; key 48 from tick 96 to 192, then 60 BPM, key 55 from
// 240 to 264: frames 22050, 44100, 66150, 77175 at 44100 Hz.
// clang-format off
const Bytes kKeys = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k', 0, 0, 0, 33,
                     0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x60, 0x90, 0x30, 0x64, 0x60, 0x30, 0x00,
                     0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x30, 0x90, 0x37, 0x64, 0x18, 0x80, 0x37,
                     0x00, 0x00, 0xFF, 0x2F, 0x00};
// clang-format on

// A region of the left channel that sounds (RMS above -30 dBFS; the bass
// line runs near -20) or is silent (peak below -120 dBFS).
struct Region {
  size_t from, to;
  bool sounds;
};

struct RenderCase {
  const char* args;
  int exitCode;
  std::vector<const char*> says;  // in the summary or, failing, on stderr
  int64_t frames = 0;
  std::vector<Region> regions = {};
  bool stub = false;
};

TEST(Render, OneRunPerFeature) {
  // Keyboard notes reach the voice at the start of the block that holds them
  // while the band-limited oscillator is on (the instrument's default), so
  // the regions keep a 512-frame block of margin around the event times,
  // plus the 441-frame release fade.
  // clang-format off
  const RenderCase cases[] = {
      // 3 bars at 90 BPM and 48000 Hz; "delay" names the padded "Delay ".
      {"--tempo 90 --bars 3 --rate 48000 --format pcm24 --param delay=1", 0,
       {"384000 frames", "peak 3.5 dBFS, RMS 0.6 dBFS, 753 MIDI events"}, 384000, {}, true},
      {"", 0, {}, 352800},  // 4 bars at 120 BPM
      {"--sync midi --midi-in keys.mid --bars 1 --timing", 0,
       {"88200 frames", "fed 4 of 4 input events", "ns per sample", "real-time factor"}, 88200,
       {{0, 21504, false}, {22562, 43588, true}, {45053, 65638, false}, {66662, 76663, true},
        {78128, 88200, false}}},
      // Beat 4 = frame 88200: stop (a 441-frame fade); beat 5: play from song beat 16.
      {"--bars 2 --transport '0:play@0, 4:stop, 5:play@16'", 0, {}, 176400,
       {{0, 88200, true}, {88641, 110250, false}, {110250, 176400, true}}},
      // The internal clock waits for the editor's play button.
      {"--bars 1 --sync internal", 0, {"(silent)", "internal clock starts only from the editor"}, 88200},
      {"--midi-in cut.mid", 2, {"cut.mid: chunk of 33 bytes runs past the end"}},
      {"--transport '1:play,0:stop'", 2, {"times must rise"}},
  };
  // clang-format on
  const std::string dir = ::testing::TempDir() + "vornix_render_e2e_" + std::to_string(getpid());
  for (const RenderCase& c : cases) {
    SCOPED_TRACE(c.args);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/keys.mid", std::ios::binary).write(reinterpret_cast<const char*>(kKeys.data()), 55);
    std::ofstream(dir + "/cut.mid", std::ios::binary).write(reinterpret_cast<const char*>(kKeys.data()), 45);
    const std::string command = "cd '" + dir + "' && '" VORNIX_RENDER_EXE "' --quiet --plugin '" +
                                (c.stub ? STUB_INSTRUMENT : VORNIX_RENDER_PLUGIN) + "' " + c.args +
                                " >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    ASSERT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.exitCode) << slurp(dir + "/stderr.txt");
    const std::string said = slurp(dir + (c.exitCode == 0 ? "/stdout.txt" : "/stderr.txt"));
    for (const char* text : c.says) EXPECT_NE(said.find(text), std::string::npos) << said;
    if (c.exitCode != 0) continue;

    vxtools::WavInfo info;
    std::string error;
    ASSERT_TRUE(vxtools::readWavInfo(dir + "/vornix.wav", info, error)) << error;
    EXPECT_TRUE(info.frames == c.frames && info.channels == 2 &&
                info.sampleRate == (c.stub ? 48000 : 44100) && info.bitsPerSample == (c.stub ? 24 : 32));
    SF_INFO sf{};
    SNDFILE* f = sf_open((dir + "/vornix.wav").c_str(), SFM_READ, &sf);
    std::vector<float> frames(2 * c.frames);
    sf_readf_float(f, frames.data(), c.frames);
    sf_close(f);
    // The stub's left output is an over: clipped to full scale (the largest
    // 24-bit code is 1 - 2^-23), not wrapped to the other sign.
    EXPECT_TRUE(!c.stub || (frames[0] > 0.9999f && frames[0] <= 1.0f && frames[1] == -0.25f));
    for (const Region& r : c.regions) {
      double sum = 0.0, peak = 0.0;
      for (size_t i = r.from; i < r.to; ++i) sum += frames[2 * i] * frames[2 * i];
      for (size_t i = r.from; i < r.to; ++i) peak = std::fmax(peak, std::fabs(frames[2 * i]));
      EXPECT_TRUE(r.sounds ? std::sqrt(sum / (r.to - r.from)) > 0.03 : peak < 1e-6) << r.from << ".." << r.to;
    }

    // The notes the instrument sent, at 480 ticks per beat. The stub sends a
    // note-on in the middle of each block and the notes of the three stopped
    // tail blocks; the instrument follows every note-on with a note-off of
    // its key (a tie on one key sends the next note-on first; the single
    // note-off releases both), and with the script sends no note-on between
    // the end of the stop's fade (9.6 ticks after tick 1920) and the restart
    // at tick 2400.
    vxtools::SmfData smf;
    ASSERT_TRUE(vxtools::readSmfFile(dir + "/vornix.mid", smf, error)) << error;
    EXPECT_TRUE(smf.format == 0 && smf.trackCount == 1 && smf.ticksPerBeat == 480);
    EXPECT_EQ(smf.tempos.at(0).microsecondsPerBeat, c.stub ? 666667u : 500000u);
    uint64_t tickSum = 0, noteSum = 0;
    std::map<int, bool> sounding;
    const bool stops = std::string(c.args).find("4:stop") != std::string::npos;
    for (const vxtools::SmfEvent& e : smf.events) {
      const bool on = (e.status & 0xF0) == 0x90 && e.data2 != 0;
      tickSum += e.tick;
      noteSum += e.data1;
      EXPECT_FALSE(on && stops && e.tick > 1930 && e.tick < 2400) << "note-on at tick " << e.tick;
      EXPECT_TRUE(on || c.stub || sounding[e.data1])
          << "note-off of key " << int(e.data1) << " that is not on";
      sounding[e.data1] = on;
    }
    for (const auto& [key, on] : sounding) EXPECT_FALSE(on && !c.stub) << "key " << key << " never released";
    if (c.stub) {
      EXPECT_TRUE(smf.events.size() == 753 && smf.events.back().tick == 5760 && tickSum == 2177280 &&
                  noteSum == 49308);
    }
  }
  std::filesystem::remove_all(dir);
}

#else
TEST(Render, NeedsTheInstrument) { GTEST_SKIP() << "built without the plug-in target"; }
#endif

}  // namespace
