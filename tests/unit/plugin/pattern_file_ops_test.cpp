// The instrument's pattern and bank file operations, seen as a host sees the
// instrument: its parameters, its state chunk, its audio and its
// audioMasterUpdateDisplay calls. (Until the editor exists nothing but the
// editor's file messages reaches these operations, so the instrument is
// built here directly, with a host callback of our own.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "plugin/Tolvane.h"

namespace {

namespace fs = std::filesystem;

VstTimeInfo g_time;
int g_updates = 0;

VstIntPtr VST_CALL host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  if (opcode == audioMasterVersion) return 2400;
  if (opcode == audioMasterGetTime) return reinterpret_cast<VstIntPtr>(&g_time);
  if (opcode == audioMasterUpdateDisplay) ++g_updates;
  return opcode == audioMasterProcessEvents ? 1 : 0;
}

std::string scratch(const std::string& name) {
  const fs::path dir = fs::path(::testing::TempDir()) / "vornix_pattern_ops";
  fs::create_directories(dir);
  fs::remove(dir / name);
  return (dir / name).string();
}

void writeFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> chunkOf(Tolvane& synth) {
  void* data = nullptr;
  const VstInt32 size = synth.getChunk(&data, false);
  return std::vector<uint8_t>(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// An instrument playing in host sync at 120 BPM from ppq 0.
struct Player {
  std::unique_ptr<Tolvane> synth = std::make_unique<Tolvane>(host);
  long position = 0;
  std::vector<float> out;

  Player() {
    synth->setSampleRate(44100.0f);
    synth->setBlockSize(512);
    synth->resume();
  }
  void play(int blocks) {
    float left[512], right[512];
    float* outputs[2] = {left, right};
    for (int b = 0; b < blocks; ++b, position += 512) {
      g_time.sampleRate = 44100.0;
      g_time.tempo = 120.0;
      g_time.ppqPos = position * 2.0 / 44100.0;
      g_time.flags = kVstTransportPlaying | kVstPpqPosValid | kVstTempoValid | (position ? 0 : kVstTransportChanged);
      synth->processReplacing(nullptr, outputs, 512);
      out.insert(out.end(), left, left + 512);
    }
  }
};

TEST(PatternFileOps, NativeImportAppliesTheFileButTriggerAndSyncType) {
  Tolvane source(host);
  source.setParameter(kTriggerPattern, 0.5f);  // pattern 16 becomes current
  source.setParameter(kNbStep, 39.0f / 63.0f);
  source.setParameter(kCutOff, 0.7f);
  source.setParameter(kSyncTypeParam, 0.9f);
  source.setParameter(kInternalTempo, 0.5f);
  source.sequencer().getCurrentPattern()->setName("forty");
  const std::string path = scratch("forty.303");
  source.exportPattern(path);

  Tolvane target(host);
  const int updates = g_updates;
  target.importPattern(path, -1, true);
  EXPECT_EQ(g_updates, updates + 1);  // the host re-reads the parameters
  EXPECT_FLOAT_EQ(target.getParameter(kCutOff), 0.7f);
  EXPECT_FLOAT_EQ(target.getParameter(kInternalTempo), 0.5f);
  EXPECT_FLOAT_EQ(target.getParameter(kNbStep), 39.0f / 63.0f);
  EXPECT_EQ(target.getParameter(kTriggerPattern), 0.0f);  // still pattern 0
  EXPECT_EQ(target.getParameter(kSyncTypeParam), 0.0f);   // still host sync
  EXPECT_EQ(target.sequencer().getCurrentPattern()->getName(), "forty");

  // Into another slot, "NB STEP" acts on the current pattern: 40 steps there
  // too, and slot 3 gets the file's steps.
  Tolvane other(host);
  other.importPattern(path, 3, true);
  EXPECT_EQ(other.sequencer().getCurrentPattern()->getNBStep(), 40);
  EXPECT_EQ(other.sequencer().song().getPattern(3)->getName(), "forty");
  other.importPattern(path, 3, false);  // and without the values, nothing but the pattern
  EXPECT_FLOAT_EQ(other.getParameter(kCutOff), 0.7f);
}

TEST(PatternFileOps, ImportIntoAnotherSlotLeavesPlaybackUntouched) {
  Player plain, importing;
  const Pattern* current = importing.synth->sequencer().getCurrentPattern();
  const std::string path = scratch("other.pat");
  writeFile(path, "; ABL3 Meta tag: 3\r\n; Tune: 1.0 Cutoff: 1.0\r\n1 0 0 1 1 1 \r\n5 0 0 0 0 1 \r\n0 0 0 0 0 0 \r\n");
  plain.play(30);
  importing.play(30);
  importing.synth->importABLPattern(path, 5, false);
  importing.synth->importABLPattern(path, 6, false);
  plain.play(60);
  importing.play(60);
  ASSERT_EQ(plain.out, importing.out);
  EXPECT_NE(*std::max_element(plain.out.begin(), plain.out.end()), 0.0f);  // it did play
  EXPECT_EQ(importing.synth->sequencer().getCurrentPattern(), current);
  const Pattern* imported = importing.synth->sequencer().song().getPattern(6);
  EXPECT_EQ(imported->getNBStep(), 3);
  EXPECT_EQ(imported->getName(), "other");
  EXPECT_EQ(imported->getStep(0)->note, 26);
  EXPECT_EQ(imported->getStep(1)->timeStart, 0.25);  // laid out once it becomes current
}

TEST(PatternFileOps, RefusedFilesChangeNothing) {
  const std::string path = scratch("broken");
  const std::string fifo = scratch("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string content;
    void (*import)(Tolvane&, const std::string&);
  } cases[] = {
      {"knt3patt\x01\x10", [](Tolvane& t, const std::string& p) { t.importPattern(p, -1, true); }},
      {" ; Tune: 1 Cutoff: 1\r\nc-2 1 0 0\r\nc-2 1 0", [](Tolvane& t, const std::string& p) { t.importABLPattern(p, -1, true); }},
      {"1 2 3 4 5 6\r\n1 2\r\n", [](Tolvane& t, const std::string& p) { t.importABL3Pattern(p, 2, true); }},
      {"<Pattern length=\"99\"/>", [](Tolvane& t, const std::string& p) { t.importPhoscyonPattern(p, -1); }},
      {std::string(11511, '\0'), [](Tolvane& t, const std::string& p) { t.importBank(p, -1); }},
      {"", [](Tolvane& t, const std::string& p) { t.importBank(p, -1); }},
      {"", [](Tolvane& t, const std::string&) { t.importPattern(scratch("fifo"), -1, true); }},
  };
  Tolvane synth(host);
  const std::vector<uint8_t> before = chunkOf(synth);
  const int updates = g_updates;
  for (const auto& c : cases) {
    writeFile(path, c.content);
    c.import(synth, path);
    EXPECT_EQ(chunkOf(synth), before) << c.content;
  }
  EXPECT_EQ(g_updates, updates);
}

TEST(PatternFileOps, AblImportWarnsOfNotesOutOfRange) {
  const std::string path = scratch("wide.pat");
  writeFile(path, "; ABL3 Meta tag: 2\r\n40 0 1 0 0 1 \r\n-30 0 0 0 0 1 \r\n");
  Tolvane synth(host);
  ::testing::internal::CaptureStdout();
  synth.importABLPattern(path, -1, true);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Vornix > ImportABL3Pattern ERROR : note out of range : step disabled\n"
            "Vornix > ImportABL3Pattern ERROR : note out of range : step disabled\n");
  EXPECT_EQ(synth.sequencer().getCurrentPattern()->getStep(1)->note, 0);
}

TEST(PatternFileOps, BankFilesAreTheChunk) {
  Tolvane fresh(host);
  const std::string path = scratch("fresh.b303");
  fresh.exportBank(path);
  const std::string bytes = readFile(path);
  ASSERT_EQ(bytes.size(), 11512u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), chunkOf(fresh));

  Tolvane changed(host);
  changed.setParameter(kNbStep, 1.0f);
  changed.setParameter(kDecay, 0.25f);
  changed.exportBank(path);
  fresh.importBank(path, -1);
  EXPECT_EQ(chunkOf(fresh), chunkOf(changed));
}

TEST(PatternFileOps, FailedExportsLeaveNoFileBehind) {
  Tolvane synth(host);
  const std::string missing = scratch("no/such/folder.303");
  synth.exportPattern(missing);
  EXPECT_FALSE(fs::exists(fs::path(missing).parent_path()));

  // A full disk, as the file-size limit makes it: the bank's 11512 bytes do
  // not fit, the old file stays whole and no temporary file is left.
  const std::string path = scratch("full.b303");
  writeFile(path, "old bank");
  struct rlimit saved, limit;
  ::getrlimit(RLIMIT_FSIZE, &saved);
  limit = saved;
  limit.rlim_cur = 4096;
  ::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  synth.exportBank(path);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(readFile(path), "old bank");
  for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path()))
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
}

}  // namespace
