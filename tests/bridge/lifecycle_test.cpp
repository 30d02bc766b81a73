// Starting, reopening and ending the editor program; instance numbers
// across processes; objects at our /tmp names that are not ours; requests
// while the host does not process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "BridgeRig.h"
#include "editorbridge/SharedBlockLayout.h"

namespace vornix::test {
namespace {

TEST(BridgeLifecycle, StartedOnceToldOfReopensQuitOnDestructionReapedAndCleanedUp) {
  const int hostFile = open("/dev/null", O_RDONLY);  // not close-on-exec, as some hosts leave theirs
  BridgeRig rig;
  const int n = rig.number();
  rig.close();  // before any open: nothing
  ASSERT_TRUE(rig.start(1111));
  rig.close();
  ASSERT_TRUE(rig.open(2222));
  ASSERT_TRUE(rig.waitForLine("6 2222"));
  const Lines lines = rig.log();
  const std::string start = "start VornixUI 1111 " + std::to_string(n) + " leaked 0";
  EXPECT_EQ(lines[0], start);
  EXPECT_EQ(countLines(lines, start) + countLines(lines, "6 2222"), 2) << "started once, told once";
  EXPECT_EQ(countLines(lines, "6 1111"), 0);
  close(hostFile);

  const pid_t editor = std::atoi(lines[1].c_str() + 4);  // "pid P"
  Bytes burst;                                           // keeps the polls busy up to the destruction
  for (int i = 0; i < 300; ++i) burst = burst + parameterMessage(i % 26, static_cast<float>(i % 7) / 7.0f);
  rig.send(burst);
  rig.destroy();
  EXPECT_TRUE(rig.waitForLine("7"));
  for (const std::string& path : {uiFifoPath(n), pluginFifoPath(n), instanceLockPath(n)})
    EXPECT_NE(access(path.c_str(), F_OK), 0) << path;
  EXPECT_EQ(access(editorProgramPath(n).c_str(), X_OK), 0);
  EXPECT_EQ(kill(editor, 0), -1) << "the editor process (or its zombie) is still there";
}

TEST(BridgeLifecycle, TwoProcessesGetDifferentNumbers) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  BridgeRig rig;
  const int mine = rig.number();
  ASSERT_GE(mine, 0);
  // The test runs again in a fresh process, whose instance counter starts
  // at 0 like ours did; its instance answers its number as exit status.
  // It destroys its instance first, so that its FIFOs do not outlive it.
  EXPECT_EXIT(
      {
        const int number = rig.number();
        rig.destroy();
        _exit(number);
      },
      [mine](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != mine; }, "");
}

TEST(BridgeLifecycle, HostileObjectsAtTheFifoNamesAreRefused) {
  for (const bool link : {false, true}) {
    SCOPED_TRACE(link ? "a symbolic link to a FIFO" : "a FIFO anyone may open");
    BridgeRig rig;
    const std::string path = uiFifoPath(rig.number()), target = path + ".target";
    unlink(path.c_str());
    mkfifo(link ? target.c_str() : path.c_str(), 0600);
    ASSERT_EQ(link ? symlink(target.c_str(), path.c_str()) : chmod(path.c_str(), 0666), 0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(rig.open(1));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("VornixVST > refusing " + path), std::string::npos) << printed;
    rig.destroy();
    struct stat info;
    EXPECT_TRUE(lstat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == (link ? S_IFLNK : S_IFIFO))
        << "the object that is not ours was removed";
    EXPECT_TRUE(rig.log().empty()) << "the editor was started";
    EXPECT_NE(access(pluginFifoPath(rig.number()).c_str(), F_OK), 0) << "ours is removed";
    for (const std::string& p : {path, target}) unlink(p.c_str());
  }
}

TEST(BridgeLifecycle, RequestsTakeEffectWhenTheHostStopsProcessing) {
  BridgeRig rig;
  ASSERT_TRUE(rig.start());
  rig.host().resume();
  for (int i = 0; i < 4; ++i) rig.host().render(256);
  // Still resumed, but no more blocks: the bridge serves its queue itself.
  rig.settle(parameterMessage(3, 0.5f) + Bytes{11, 3});
  EXPECT_EQ(rig.host().getParameter(3), 0.5f);
  EXPECT_EQ(readStep(rig.block(), 0, 0).note, 14);
}

}  // namespace
}  // namespace vornix::test
