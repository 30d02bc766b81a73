// What the bridge finds in place of its /tmp objects and its shared block:
// only what is ours may be used, and nothing planted may be written through.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "editorbridge/PrivateFiles.h"
#include "editorbridge/SharedBlock.h"
#include "editorbridge/SharedBlockLayout.h"
#include "sequencer/Song.h"

namespace {

std::string readAll(const std::string& path) {
  char text[64] = {};
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd >= 0 && read(fd, text, sizeof(text) - 1) < 0) text[0] = 0;
  if (fd >= 0) close(fd);
  return text;
}

TEST(PrivateObjects, OnlyOurOwnFifosAndProgramFilesAreUsed) {
  char templ[] = "/tmp/vornix-private-test.XXXXXX";
  ASSERT_NE(mkdtemp(templ), nullptr);
  const std::string path = std::string(templ) + "/object", victim = std::string(templ) + "/victim";
  const bool root = geteuid() == 0;
  enum Plant { kNothing, kOurFifo, kOpenFifo, kForeignFifo, kOurFile, kLink, kDirectory };
  const struct {
    Plant plant;
    bool program;  // writeProgram, else createFifo and openFifo
    bool accepted;
  } cases[] = {{kNothing, false, true},  {kOurFifo, false, true}, {kOpenFifo, false, false},
               {kForeignFifo, false, !root}, {kLink, false, false}, {kNothing, true, true},
               {kOurFile, true, true},   {kLink, true, false},    {kDirectory, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "plant " << c.plant << (c.program ? " program" : " fifo"));
    const int v = open(victim.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(write(v, "victim", 6), 6);
    close(v);
    if (c.plant == kOurFifo || c.plant == kOpenFifo || c.plant == kForeignFifo) mkfifo(path.c_str(), 0600);
    if (c.plant == kOpenFifo) chmod(path.c_str(), 0666);
    const bool foreign = c.plant == kForeignFifo && root;
    ASSERT_EQ(foreign ? chown(path.c_str(), 65534, 65534) : 0, 0);
    if (c.plant == kOurFile) close(open(path.c_str(), O_WRONLY | O_CREAT, 0700));
    ASSERT_EQ(c.plant == kLink ? symlink(victim.c_str(), path.c_str()) : 0, 0);
    if (c.plant == kDirectory) mkdir(path.c_str(), 0700);
    if (c.program) {
      const int fd = PrivateFiles::writeProgram(path.c_str(), reinterpret_cast<const unsigned char*>("image"), 5);
      EXPECT_EQ(fd >= 0, c.accepted);
      // Executed through this descriptor: it must hold exactly our bytes.
      EXPECT_EQ(fd >= 0 ? readAll("/proc/self/fd/" + std::to_string(fd)) : "image", "image");
      if (fd >= 0) close(fd);
    } else {
      EXPECT_EQ(PrivateFiles::createFifo(path.c_str()), c.accepted);
      const int fd = PrivateFiles::openFifo(path.c_str());
      EXPECT_EQ(fd >= 0, c.accepted);
      if (fd >= 0) close(fd);
    }
    EXPECT_EQ(readAll(victim), "victim");
    unlink(path.c_str());
    rmdir(path.c_str());
  }
  unlink(victim.c_str());
  rmdir(templ);
}

TEST(SharedBlockMapping, AnObjectThatIsNotOursLeavesEveryWriterHarmless) {
  const std::string name = sharedBlockName(900000 + static_cast<int>(getpid() % 90000));
  const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  fchmod(fd, 0644);  // readable by anyone
  close(fd);
  testing::internal::CaptureStdout();
  SharedBlock block;
  EXPECT_FALSE(block.create(900000 + static_cast<int>(getpid() % 90000)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "VornixVST > failed to map plugin shared memory \n");
  block.writeParameterValue(0, 1.0f);
  block.writeParameterText(0, "text");
  block.writePatterns(Song());
  block.writeHostPlaying(true);
  block.writeInternalRunning(true);
  block.writeCurrentPattern(3);
  block.writeTempo(120.0);
  block.writeSyncType(2);
  EXPECT_EQ(block.bytes(), nullptr);
  shm_unlink(name.c_str());
}

}  // namespace
