// What the bridge finds in place of its /tmp objects and its shared block:
// each case plants an object in a private directory, and only what is ours
// may be used (and nothing planted may be written through).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
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
  const std::string dir = templ, path = dir + "/object", target = dir + "/target";
  const bool root = geteuid() == 0;
  enum Plant { kNothing, kOurFifo, kOpenFifo, kForeignFifo, kOurFile, kLinkToFifo, kLinkToFile, kDirectory };
  const struct {
    Plant plant;
    bool fifoAccepted;
    bool programAccepted;
  } cases[] = {{kNothing, true, true},          {kOurFifo, true, false},      {kOpenFifo, false, false},
               {kForeignFifo, !root, false},    {kOurFile, false, true},      {kLinkToFifo, false, false},
               {kLinkToFile, false, false},     {kDirectory, false, false}};
  for (const auto& c : cases) {
    for (const bool program : {false, true}) {
      SCOPED_TRACE(testing::Message() << "plant " << c.plant << (program ? " program" : " fifo"));
      const int t = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ASSERT_EQ(write(t, "victim", 6), 6);
      close(t);
      if (c.plant == kOurFifo || c.plant == kOpenFifo || c.plant == kForeignFifo) mkfifo(path.c_str(), 0600);
      if (c.plant == kOpenFifo) chmod(path.c_str(), 0666);
      if (c.plant == kForeignFifo && root) {
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
      }
      if (c.plant == kOurFile) close(open(path.c_str(), O_WRONLY | O_CREAT, 0700));
      if (c.plant == kLinkToFile) {
        ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
      }
      if (c.plant == kLinkToFifo) {
        unlink(target.c_str());
        mkfifo(target.c_str(), 0600);
        ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
      }
      if (c.plant == kDirectory) mkdir(path.c_str(), 0700);

      if (program) {
        const int fd = PrivateFiles::writeProgram(path.c_str(), reinterpret_cast<const unsigned char*>("image"), 5);
        EXPECT_EQ(fd >= 0, c.programAccepted);
        if (fd >= 0) {
          // Executed through this descriptor: it must hold exactly our bytes.
          EXPECT_EQ(readAll("/proc/self/fd/" + std::to_string(fd)), "image");
          struct stat info;
          EXPECT_TRUE(fstat(fd, &info) == 0 && (info.st_mode & 07777) == 0700);
          close(fd);
        }
      } else {
        EXPECT_EQ(PrivateFiles::createFifo(path.c_str()), c.fifoAccepted);
        const int fd = PrivateFiles::openFifo(path.c_str());
        EXPECT_EQ(fd >= 0, c.fifoAccepted);
        if (fd >= 0) close(fd);
      }
      if (c.plant != kLinkToFifo) {
        EXPECT_EQ(readAll(target), "victim");
      }
      unlink(path.c_str());
      rmdir(path.c_str());
      unlink(target.c_str());
    }
  }
  rmdir(dir.c_str());
}

TEST(SharedBlockMapping, AnObjectThatIsNotOursLeavesEveryWriterHarmless) {
  const int number = 900000 + static_cast<int>(getpid() % 90000);
  const std::string name = sharedBlockName(number);
  const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  fchmod(fd, 0644);  // readable by anyone
  close(fd);
  testing::internal::CaptureStdout();
  SharedBlock block;
  EXPECT_FALSE(block.create(number));
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

  SharedBlock mine;  // ours: a display text is cut to 15 bytes and a zero
  ASSERT_TRUE(mine.create(number));
  mine.writeParameterText(28, "0123456789abcdefghij");
  EXPECT_EQ(readParameterText(mine.bytes(), 28), "0123456789abcde");
  shm_unlink(name.c_str());
}

}  // namespace
