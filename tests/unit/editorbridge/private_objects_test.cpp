// What the bridge finds in place of its /tmp objects and its shared block,
// and the instance numbers it locks. Each case plants an object in a
// private directory and checks that only what is ours is used.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "editorbridge/InstanceLock.h"
#include "editorbridge/PrivateFiles.h"
#include "editorbridge/SharedBlock.h"
#include "editorbridge/SharedBlockLayout.h"
#include "sequencer/Song.h"

namespace {

class PrivateObjects : public testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/vornix-private-test.XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    m_dir = templ;
  }
  void TearDown() override { std::system(("rm -rf " + m_dir).c_str()); }
  std::string path(const char* name) const { return m_dir + "/" + name; }
  std::string m_dir;
};

void writeFile(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  close(fd);
}

std::string readFile(const std::string& path) {
  std::string text(256, '\0');
  const int fd = open(path.c_str(), O_RDONLY);
  const ssize_t got = fd >= 0 ? read(fd, &text[0], text.size()) : -1;
  if (fd >= 0) close(fd);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

TEST_F(PrivateObjects, OnlyOurOwnFifoIsCreatedOrReused) {
  using Plant = std::function<void(const std::string& path, const std::string& dir)>;
  const bool root = geteuid() == 0;
  const struct {
    const char* what;
    Plant plant;
    bool accepted;
  } cases[] = {
      {"nothing there", [](const std::string&, const std::string&) {}, true},
      {"our FIFO from an earlier run", [](const std::string& p, const std::string&) { mkfifo(p.c_str(), 0600); }, true},
      {"a FIFO anyone may open", [](const std::string& p, const std::string&) {
         mkfifo(p.c_str(), 0600);
         chmod(p.c_str(), 0666);
       }, false},
      {"a regular file", [](const std::string& p, const std::string&) { writeFile(p, "x"); }, false},
      {"a symbolic link to our FIFO", [](const std::string& p, const std::string& dir) {
         mkfifo((dir + "/target").c_str(), 0600);
         symlink((dir + "/target").c_str(), p.c_str());
       }, false},
      {"a FIFO of another user", [root](const std::string& p, const std::string&) {
         mkfifo(p.c_str(), 0600);
         if (root) chown(p.c_str(), 65534, 65534);
       }, !root},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string fifo = path("ui.fifo");
    c.plant(fifo, m_dir);
    EXPECT_EQ(PrivateFiles::createFifo(fifo.c_str()), c.accepted);
    const int fd = PrivateFiles::openFifo(fifo.c_str());
    EXPECT_EQ(fd >= 0, c.accepted);
    if (fd >= 0) close(fd);
    unlink(fifo.c_str());
    unlink(path("target").c_str());
  }
}

TEST_F(PrivateObjects, TheProgramRunIsTheProgramWritten) {
  const std::string program = path("VornixDUI0");
  const std::string victim = path("victim");
  const struct {
    const char* what;
    std::function<void()> plant;
    bool accepted;
  } cases[] = {
      {"nothing there", [] {}, true},
      {"our program from an earlier run", [&] { writeFile(program, "old program"); }, true},
      {"a symbolic link to a file", [&] { symlink(victim.c_str(), program.c_str()); }, false},
      {"a directory", [&] { mkdir(program.c_str(), 0700); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(victim, "victim");
    c.plant();
    const std::string image = "new program";
    const int fd = PrivateFiles::writeProgram(program.c_str(), reinterpret_cast<const unsigned char*>(image.data()),
                                              image.size());
    EXPECT_EQ(fd >= 0, c.accepted);
    EXPECT_EQ(readFile(victim), "victim");
    if (fd >= 0) {
      EXPECT_EQ(readFile("/proc/self/fd/" + std::to_string(fd)), image);
      struct stat info;
      ASSERT_EQ(fstat(fd, &info), 0);
      EXPECT_EQ(info.st_mode & 07777, 0700u);
      EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
      close(fd);
    }
    unlink(program.c_str());
    rmdir(program.c_str());
  }
}

TEST(InstanceNumbers, NumbersHeldElsewhereAreSkippedAndReleasedOnes) {
  InstanceLock first;
  ASSERT_TRUE(first.locked());
  // Another process holds the next number: a lock of its own on the file.
  const int held = InstanceLock::tryLock(first.number() + 1);
  ASSERT_GE(held, 0);
  InstanceLock second;
  EXPECT_TRUE(second.locked());
  EXPECT_NE(second.number(), first.number());
  EXPECT_NE(second.number(), first.number() + 1);
  EXPECT_LT(InstanceLock::tryLock(second.number()), 0);
  InstanceLock::unlock(first.number() + 1, held);
  EXPECT_NE(access(instanceLockPath(first.number() + 1).c_str(), F_OK), 0);
}

TEST(SharedBlockMapping, AnObjectThatIsNotOursLeavesEveryWriterHarmless) {
  const int number = 900000 + static_cast<int>(getpid() % 90000);
  const std::string name = sharedBlockName(number);
  const int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);  // readable by anyone
  ASSERT_GE(fd, 0);
  fchmod(fd, 0644);
  close(fd);
  testing::internal::CaptureStdout();
  SharedBlock block;
  EXPECT_FALSE(block.create(number));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "VornixVST > failed to map plugin shared memory \n");
  Song song;
  block.writeParameterValue(0, 1.0f);
  block.writeParameterText(0, "text");
  block.writePatterns(song);
  block.writeHostPlaying(true);
  block.writeInternalRunning(true);
  block.writeCurrentPattern(3);
  block.writeTempo(120.0);
  block.writeSyncType(2);
  EXPECT_EQ(block.bytes(), nullptr);
  shm_unlink(name.c_str());

  // Ours: created, cleared, and a long display text cut to 15 bytes.
  SharedBlock mine;
  ASSERT_TRUE(mine.create(number));
  mine.writeParameterText(28, "0123456789abcdefghij");
  EXPECT_EQ(readParameterText(mine.bytes(), 28), "0123456789abcde");
  EXPECT_EQ(mine.bytes()[SharedBlockLayout::parameterRecord(28) + 31], 0);
  shm_unlink(name.c_str());
}

}  // namespace
