// Starting, reopening and ending the editor program; instance numbers
// across processes; objects in /tmp that are not ours; requests while the
// host does not process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "BridgeRig.h"
#include "editorbridge/SharedBlockLayout.h"

namespace vornix::test {
namespace {

Lines startLines(const Lines& lines) {
  Lines starts;
  for (const std::string& line : lines)
    if (line.rfind("start ", 0) == 0) starts.push_back(line);
  return starts;
}

pid_t editorPid(const Lines& lines) {
  const Lines starts = startLines(lines);
  if (starts.empty()) return -1;
  const size_t at = starts[0].find(" pid ");
  return at == std::string::npos ? -1 : std::atoi(starts[0].c_str() + at + 5);
}

TEST(BridgeLifecycle, OpenCloseReopenStartsTheProgramOnceWithNothingOfTheHosts) {
  const int hostFile = open("/dev/null", O_RDONLY);  // not close-on-exec, as some hosts leave theirs
  BridgeRig rig;
  rig.close();  // before any open: nothing
  ASSERT_TRUE(rig.start(1111));
  rig.close();
  ASSERT_TRUE(rig.open(2222));
  ASSERT_TRUE(rig.waitForLine("6 2222"));
  const Lines lines = rig.log();
  const Lines starts = startLines(lines);
  ASSERT_EQ(starts.size(), 1u);
  const std::string prefix = "start VornixUI 1111 " + std::to_string(rig.number()) + " pid ";
  EXPECT_EQ(starts[0].rfind(prefix, 0), 0u) << starts[0];
  EXPECT_EQ(starts[0].substr(starts[0].size() - 9), " leaked 0") << starts[0];
  EXPECT_EQ(countLines(lines, "6 2222"), 1);
  EXPECT_EQ(countLines(lines, "6 1111"), 0);
  close(hostFile);
}

TEST(BridgeLifecycle, DestroyWhileOpenQuitsReapsAndRemovesTheFifos) {
  BridgeRig rig;
  ASSERT_TRUE(rig.start());
  const int n = rig.number();
  const pid_t editor = editorPid(rig.log());
  ASSERT_GT(editor, 0);
  Bytes burst;  // keeps the polls busy up to the destruction
  for (int i = 0; i < 300; ++i) {
    const Bytes message = parameterMessage(i % 26, static_cast<float>(i % 7) / 7.0f);
    burst.insert(burst.end(), message.begin(), message.end());
  }
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
  EXPECT_EXIT(_exit(rig.number()), [mine](int status) { return WIFEXITED(status) && WEXITSTATUS(status) != mine; },
              "");
}

TEST(BridgeLifecycle, HostileObjectsAtTheFifoNamesAreRefused) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path)> plant;
    mode_t type;
  };
  const Case cases[] = {
      {"a FIFO anyone may open", [](const std::string& path) {
         mkfifo(path.c_str(), 0600);
         chmod(path.c_str(), 0666);
       }, S_IFIFO},
      {"a symbolic link to a FIFO", [](const std::string& path) {
         const std::string target = path + ".target";
         mkfifo(target.c_str(), 0600);
         symlink(target.c_str(), path.c_str());
       }, S_IFLNK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BridgeRig rig;
    const std::string path = uiFifoPath(rig.number());
    unlink(path.c_str());
    c.plant(path);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(rig.open(1));
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("VornixVST > refusing " + path), std::string::npos) << printed;
    rig.destroy();
    struct stat info;
    ASSERT_EQ(lstat(path.c_str(), &info), 0) << "the object that is not ours was removed";
    EXPECT_EQ(info.st_mode & S_IFMT, c.type);
    EXPECT_TRUE(rig.log().empty()) << "the editor was started";
    unlink(path.c_str());
    unlink((path + ".target").c_str());
    unlink(pluginFifoPath(rig.number()).c_str());
  }
}

TEST(BridgeLifecycle, RequestsTakeEffectWhenTheHostStopsProcessing) {
  BridgeRig rig;
  ASSERT_TRUE(rig.start());
  rig.host().resume();
  for (int i = 0; i < 4; ++i) rig.host().process(256);
  // Still resumed, but no more blocks: the bridge serves its queue itself.
  rig.settle(parameterMessage(3, 0.5f) + Bytes{11, 3});
  EXPECT_EQ(rig.host().getParameter(3), 0.5f);
  EXPECT_EQ(readStep(rig.block(), 0, 0).note, 14);
}

}  // namespace
}  // namespace vornix::test
