// The instrument's pattern and bank file operations, seen as a host sees the
// instrument: parameters, state chunk, audio and audioMasterUpdateDisplay
// calls. (Until the editor exists only its file messages reach these
// operations, so the instrument is built here directly.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "plugin/Tolvane.h"

namespace {

namespace fs = std::filesystem;

VstTimeInfo g_time;
int g_updates = 0;

VstIntPtr VST_CALL host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&g_time);
  g_updates += opcode == audioMasterUpdateDisplay;
  return opcode == audioMasterProcessEvents;
}

// One folder per process: ctest runs the cases of this file side by side.
const fs::path kDir =
    fs::path(::testing::TempDir()) / ("vornix_pattern_ops" + std::to_string(::getpid()));

std::string scratch(const std::string& name, const std::string& content = "") {
  fs::create_directories(kDir);
  fs::remove(kDir / name);
  if (!content.empty()) std::ofstream(kDir / name, std::ios::binary) << content;
  return (kDir / name).string();
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string chunkOf(Tolvane& synth) {
  void* data = nullptr;
  const VstInt32 size = synth.getChunk(&data, false);
  return std::string(static_cast<char*>(data), static_cast<size_t>(size));
}

// Renders blocks in host sync at 120 BPM, the transport playing from ppq 0.
void play(Tolvane& synth, long& position, int blocks, std::vector<float>& out) {
  float left[512], right[512];
  float* outputs[2] = {left, right};
  for (int b = 0; b < blocks; ++b, position += 512) {
    g_time.sampleRate = 44100.0;
    g_time.tempo = 120.0;
    g_time.ppqPos = position * 2.0 / 44100.0;
    g_time.flags =
        kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | (position ? 0 : kVstTransportChanged);
    synth.processReplacing(nullptr, outputs, 512);
    out.insert(out.end(), left, left + 512);
  }
}

TEST(PatternFileOps, NativeImportAppliesTheFileButTriggerAndSyncType) {
  Tolvane source(host);
  source.setParameter(kTriggerPattern, 0.5f);  // pattern 16 becomes current
  source.setParameter(kNbStep, 39.0f / 63.0f);
  source.setParameter(kCutOff, 0.7f);
  source.setParameter(kSyncTypeParam, 0.9f);
  source.sequencer().getCurrentPattern()->setName("forty");
  const std::string path = scratch("forty.303");
  source.exportPattern(path);

  Tolvane target(host);
  const int updates = g_updates;
  target.importPattern(path, -1, true);
  EXPECT_EQ(g_updates, updates + 1);  // the host re-reads the parameters
  EXPECT_FLOAT_EQ(target.getParameter(kCutOff), 0.7f);
  EXPECT_EQ(target.getParameter(kTriggerPattern), 0.0f);  // still pattern 0
  EXPECT_EQ(target.getParameter(kSyncTypeParam), 0.0f);   // still host sync
  EXPECT_EQ(target.sequencer().getCurrentPattern()->getName(), "forty");

  // Into another slot, "NB STEP" acts on the current pattern before the
  // pattern goes into slot 3.
  Tolvane other(host);
  other.importPattern(path, 3, true);
  EXPECT_EQ(other.sequencer().getCurrentPattern()->getNBStep(), 40);
  EXPECT_EQ(other.sequencer().song().getPattern(3)->getName(), "forty");
}

TEST(PatternFileOps, ImportIntoAnotherSlotLeavesPlaybackUntouched) {
  Tolvane plain(host), importing(host);
  const Pattern* current = importing.sequencer().getCurrentPattern();
  const std::string path = scratch(
      "other.pat", "; ABL3 Meta tag: 3\r\n; Tune: 1.0 Cutoff: 1.0\r\n1 0 0 1 1 1 \r\n40 0 1 0 0 1 \r\n");
  std::vector<float> a, b;
  long at = 0, bt = 0;
  for (Tolvane* synth : {&plain, &importing}) synth->resume();
  play(plain, at, 90, a);
  play(importing, bt, 30, b);
  ::testing::internal::CaptureStdout();
  importing.importABLPattern(path, 5, false);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Vornix > ImportABL3Pattern ERROR : note out of range : step disabled\n");  // note 77
  play(importing, bt, 60, b);
  ASSERT_EQ(a, b);
  EXPECT_NE(*std::max_element(a.begin(), a.end()), 0.0f);  // it did play
  EXPECT_EQ(importing.sequencer().getCurrentPattern(), current);
  const Pattern* imported = importing.sequencer().song().getPattern(5);
  EXPECT_EQ(imported->getName(), "other");
  EXPECT_EQ(imported->getStep(0)->note, 26);
}

TEST(PatternFileOps, RefusedFilesChangeNothing) {
  enum Kind { Native, Abl, Abl3, Phoscyon, Bank };
  const std::pair<Kind, std::string> cases[] = {
      {Native, "knt3patt\x01\x10"},
      {Abl, " ; Tune: 1 Cutoff: 1\r\nc-2 1 0 0\r\nc-2 1 0"},  // 5 characters after the settings
      {Abl, "; ABL2 Meta tag: 2\r\nc-2 1 0 0\r\n\r\nc-2 1 0 0\r\n"},
      {Abl3, "1 2 3 4 5 6\r\n1 2\r\n"},  // fewer than six fields
      {Phoscyon, "<Pattern length=\"99\"/>"},
      {Bank, std::string(11511, '\0')},
      {Native, ""},  // a FIFO
  };
  Tolvane synth(host);
  const std::string before = chunkOf(synth);
  const int updates = g_updates;
  for (const auto& [kind, content] : cases) {
    const std::string path = scratch("broken", content);
    EXPECT_TRUE(!content.empty() || ::mkfifo(path.c_str(), 0600) == 0);  // must not block the reader
    if (kind == Native) synth.importPattern(path, -1, true);
    if (kind == Abl) synth.importABLPattern(path, -1, true);
    if (kind == Abl3) synth.importABL3Pattern(path, 2, true);
    if (kind == Phoscyon) synth.importPhoscyonPattern(path, -1);
    if (kind == Bank) synth.importBank(path, -1);
    EXPECT_TRUE(chunkOf(synth) == before) << content;
  }
  EXPECT_EQ(g_updates, updates);
}

TEST(PatternFileOps, BankFilesAreTheChunk) {
  Tolvane fresh(host), changed(host);
  const std::string path = scratch("fresh.b303");
  fresh.exportBank(path);
  EXPECT_EQ(readFile(path).size(), 11512u);
  EXPECT_TRUE(readFile(path) == chunkOf(fresh));
  changed.setParameter(kNbStep, 1.0f);
  changed.setParameter(kDecay, 0.25f);
  changed.exportBank(path);
  fresh.importBank(path, -1);
  EXPECT_TRUE(chunkOf(fresh) == chunkOf(changed));
}

TEST(PatternFileOps, AnExportThatCannotFinishLeavesTheOldFile) {
  // A full disk, as the file-size limit makes it: the bank's 11512 bytes do
  // not fit; the old file stays whole and no temporary file is left.
  Tolvane synth(host);
  const std::string path = scratch("full.b303", "old bank");
  struct rlimit saved, limit;
  ::getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = 4096;
  ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  synth.exportBank(path);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(readFile(path), "old bank");
  for (const auto& entry : fs::directory_iterator(kDir))
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

}  // namespace
