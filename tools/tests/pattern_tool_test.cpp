// vornix-pattern end to end: every subcommand once and every exit code once,
// on files written here from the format layouts and checked against values
// worked out by hand (the float texts are the shortest round-trip forms,
// from Python's numpy.float32 repr).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

#if defined(VORNIX_PATTERN_EXE)

struct ToolRun {
  int exitCode = -1;
  std::string out, err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One folder per process: ctest runs the cases of this file side by side.
const std::string kDir = ::testing::TempDir() + "vornix_pattern_tool" + std::to_string(::getpid());

ToolRun tool(const std::string& args) {
  const std::string command = "cd '" + kDir + "' && '" VORNIX_PATTERN_EXE "' " + args + " >out.txt 2>err.txt";
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(kDir + "/out.txt"), slurp(kDir + "/err.txt")};
}

void put(const std::string& name, const std::string& bytes) {
  std::ofstream(kDir + "/" + name, std::ios::binary) << bytes;
}
std::string get(const std::string& name) { return slurp(kDir + "/" + name); }

// A fresh instrument's bank: 2, 0, 29, 29 floats (left 0 here), 64 records
// of 16 default steps (note 25) named "pattern N", 127-byte name fields.
std::string freshBank() {
  std::string bank = std::string("\x02\x00\x1d", 3) + std::string(116, '\0') + "\x40";
  for (int i = 0; i < 64; ++i) {
    const std::string name = "pattern " + std::to_string(i + 1);
    std::string record = std::string(1, char(i)) + "\x10";
    for (int s = 0; s < 16; ++s) record += std::string("\x19\x00\x00", 3);
    bank += record + char(name.size()) + name + std::string(127 - name.size(), '\0');
  }
  return bank;
}

// Two ABL3 steps: note 25 - 3 = 22 with accent, and 25 + 40 + 12 = 77,
// outside the range, a rest. Tune 1, Cutoff 0.48 / 2.4 = 0.2.
const char* const kAbl3 =
    "; ABL3 Meta tag: 2\r\n; Tune: 1.000000 Cutoff: 0.480000\r\n-3 0 0 1 0 1 \r\n40 0 1 0 0 1 \r\n";

// Editor FIFOs left behind by a host that crashed, under the names the tool's
// instrument takes: the instrument reuses them and says so on its standard
// output, which must not reach the tool's. (ctest runs this file's cases
// alone, so no other instrument is using these names meanwhile.)
struct StaleEditorFifos {
  std::vector<std::string> made;
  StaleEditorFifos() {
    for (int n = 0; n < 8; ++n)
      for (const char* kind : {"/tmp/vornixdui", "/tmp/vornixdplugin"}) {
        const std::string path = kind + std::to_string(n) + ".fifo";
        if (mkfifo(path.c_str(), 0600) == 0) made.push_back(path);
      }
  }
  ~StaleEditorFifos() {
    for (const std::string& path : made) unlink(path.c_str());
  }
};

TEST(PatternTool, EverySubcommandAndExitCode) {
  const StaleEditorFifos stale;
  std::filesystem::remove_all(kDir);
  std::filesystem::create_directories(kDir);
  put("in.pat", kAbl3);

  ToolRun run = tool("show in.pat --json");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("step 2: note out of range"), std::string::npos) << run.err;
  // A fresh instrument's values with Tune, Cutoff, Gate 0.5 and Groove 0
  // applied and the 2-step pattern current ("NB STEP" 1/63).
  EXPECT_EQ(
      run.out,
      "{\"format\": \"abl3\", \"name\": \"in\", \"length\": 2, \"steps\": [{\"note\": 22, \"slide\": false, "
      "\"accent\": true}, {\"note\": 0, \"slide\": false, \"accent\": false}], \"parameters\": [1, 0, 1, "
      "0.2, "
      "0.919375, 0.170625, 0.9, 0.304375, 0.5, 0, 0.015873017, 1, 0, 1, 0, 0, 1, 0, 0.5, 0.3, 0.3, 0.5, 0, "
      "0, "
      "0, 0.5, 0, 0.30769232, 0]}\n");

  // Through the native file (12 + 3 x 2 + 2 + 116 bytes) to ABL2.
  ASSERT_EQ(tool("convert in.pat out.303").exitCode, 0);
  EXPECT_EQ(get("out.303").size(), 136u);
  ASSERT_EQ(tool("convert out.303 back.pat --abl2").exitCode, 0);
  EXPECT_EQ(
      get("back.pat"),
      "; ABL2 Meta tag: 2\r\n ; Tune: 1.000000 Cutoff: 0.480000 Resonance: 0.919375 Envmod: 0.170625 "
      "Decay: 0.900000 Accent: 0.304375 Waveform: 0.000000 Volume: 1.000000\r\na-3 1 0 1 \r\nc-2 0 0 0 \r\n");

  // MIDI key 22 + 35 = 57 at velocity 127, released after 73 ticks: the
  // accented gate at "Gate" 0.5 is 5512 - 5512 x 0.5263158 x 0.75 = 3336
  // samples of 22050 per 480-tick beat.
  ASSERT_EQ(tool("convert in.pat out.mid").exitCode, 0);
  EXPECT_NE(get("out.mid").find(std::string("\x00\x90\x39\x7f\x49\x80\x39\x00", 8)), std::string::npos);

  const std::string bank = freshBank();
  put("bank.b303", bank);
  run = tool("bank list bank.b303 --json");
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("{\"index\": 63, \"name\": \"pattern 64\", \"length\": 16}]}\n"), std::string::npos);

  // Record 3 starts at 120 + 3 x 178 = 654 and shrinks from 178 to 130 + 2 x 3 bytes.
  ASSERT_EQ(tool("bank insert bank.b303 3 in.pat").exitCode, 0);
  const std::string inserted = get("bank.b303");
  ASSERT_EQ(inserted.size(), bank.size() - 42);
  EXPECT_TRUE(inserted.substr(0, 654) == bank.substr(0, 654));
  EXPECT_EQ(inserted.substr(654, 136),
            std::string("\x03\x02\x16\x00\x01\x00\x00\x00\x02in", 11) + std::string(125, '\0'));
  EXPECT_TRUE(inserted.substr(790) == bank.substr(832));

  ASSERT_EQ(tool("bank extract bank.b303 3 three.phptr").exitCode, 0);
  EXPECT_NE(
      get("three.phptr").find("<Step note=\"-3\" octaveUp=\"0\" octaveDown=\"0\" gate=\"1\" accent=\"1\""),
      std::string::npos);

  // 1: a native file shorter than its step count says; the existing output stays.
  put("short.303", std::string("knt3patt\x01\x10\x0d\x00", 12));
  run = tool("convert short.303 back.pat");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("short.303: the file ends before"), std::string::npos) << run.err;
  EXPECT_EQ(get("back.pat").substr(0, 20), "; ABL2 Meta tag: 2\r\n");
  EXPECT_EQ(tool("convert in.pat out.wav").exitCode, 2);
  EXPECT_EQ(tool("convert in.pat missing/out.303").exitCode, 4);
  EXPECT_FALSE(std::filesystem::exists(kDir + "/missing"));
}

#endif

}  // namespace
