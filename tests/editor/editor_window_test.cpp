// The editor program as a user meets it: a host window on a real X server
// (the test runs under xvfb-run), the built plug-in opening its editor in
// it, and the pointer driven by xdotool. What the clicks do is checked on the
// instrument's side, through getParameter and the state chunk.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "support/FakeHost.h"

namespace {

using vornix::test::FakeHost;

// Everything here waits by polling with a deadline; a slow machine only
// makes the test slower.
bool waitFor(const std::function<bool()>& done, double seconds = 10.0) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

void xdotool(const std::string& args) {
  ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
}

// The editor process a host process started: argv[0] "VornixUI", parent `host`.
pid_t editorOf(pid_t host) {
  DIR* proc = opendir("/proc");
  pid_t found = 0;
  while (dirent* e = proc ? readdir(proc) : nullptr) {
    pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(e->d_name) + "/stat");
    std::string line;
    std::getline(stat, line);
    size_t close = line.rfind(')');
    int ppid = 0;
    char state = 0;
    if (close == std::string::npos || std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) != 2) continue;
    std::ifstream cmd("/proc/" + std::string(e->d_name) + "/cmdline");
    std::string argv0;
    std::getline(cmd, argv0, '\0');
    if (ppid == host && argv0 == "VornixUI" && state != 'Z') found = pid;
  }
  if (proc) closedir(proc);
  return found;
}

// The instance number an editor process was started with (its argv[2]).
int instanceOf(pid_t editor) {
  std::ifstream cmd("/proc/" + std::to_string(editor) + "/cmdline");
  std::string argument;
  int read = 0;
  while (read < 3 && std::getline(cmd, argument, '\0')) ++read;
  return read == 3 && !argument.empty() ? std::atoi(argument.c_str()) : -1;
}

// Gone: reaped here (we are the subreaper of everything the hosts start).
bool ended(pid_t pid) {
  int status;
  return waitpid(pid, &status, WNOHANG) == pid || kill(pid, 0) != 0;
}

int quietXError(Display*, XErrorEvent*) { return 0; }  // windows may vanish while we look

class EditorWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    XSetErrorHandler(quietXError);
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr) << "run under xvfb-run";
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
  }

  Window hostWindow() {
    Window w = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 621, 437, 0, 0, 0);
    XMapWindow(display_, w);
    XSync(display_, False);
    return w;
  }
  // The editor's window inside the host's, once it is there and shown.
  Window embedded(Window parent) {
    Window found = 0;
    waitFor([&] {
      Window root, up, *children = nullptr;
      unsigned n = 0;
      if (XQueryTree(display_, parent, &root, &up, &children, &n) && n > 0) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display_, children[0], &a) && a.map_state == IsViewable) found = children[0];
      }
      if (children) XFree(children);
      return found != 0;
    });
    return found;
  }
  int topLevelWindows() {
    Window root, up, *children = nullptr;
    unsigned n = 0, shown = 0;
    XQueryTree(display_, DefaultRootWindow(display_), &root, &up, &children, &n);
    for (unsigned i = 0; i < n; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable) ++shown;
    }
    if (children) XFree(children);
    return static_cast<int>(shown);
  }

  Display* display_ = nullptr;
};

// Chunk offsets of pattern 0 (the factory bass line): step s's note at
// 122 + 3 s, its slide and accent after it.
constexpr size_t kStep0 = 122;

TEST_F(EditorWindow, EmbedsAndDrivesTheInstrumentAcrossReopens) {
  FakeHost host;
  ASSERT_TRUE(host.valid());
  ERect* rect = nullptr;
  host.dispatch(effEditGetRect, 0, 0, &rect);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(rect->right - rect->left, 621);
  EXPECT_EQ(rect->bottom - rect->top, 437);
  Window parent = hostWindow();
  host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent));
  Window editor = embedded(parent);
  ASSERT_NE(editor, 0u) << "the editor's window becomes a child of the host's";
  const std::string win = " --window " + std::to_string(editor) + " ";

  // Cutoff knob (centre 36,73): dragged 40 px up moves it by 40/200.
  const float cutoff = host.getParameter(3);
  xdotool("mousemove" + win + "36 73 mousedown 1 mousemove" + win + "36 53 mousemove" + win + "36 33 mouseup 1");
  EXPECT_TRUE(waitFor([&] { return host.getParameter(3) > cutoff + 0.19f; }));
  EXPECT_NEAR(host.getParameter(3), cutoff + 0.2f, 0.006f);

  // Step 3's accent toggle, then step 1's note dragged two semitones up.
  std::vector<uint8_t> chunk = host.getChunk();
  ASSERT_EQ(chunk[kStep0 + 3 * 2 + 2], 0);
  ASSERT_EQ(chunk[kStep0], 13);
  xdotool("mousemove" + win + "140 314 click 1");
  xdotool("mousemove" + win + "70 272 mousedown 1 mousemove" + win + "70 266 mousemove" + win +
          "70 258 mouseup 1");
  EXPECT_TRUE(waitFor([&] {
    chunk = host.getChunk();
    return chunk[kStep0 + 3 * 2 + 2] == 1 && chunk[kStep0] == 15;
  })) << "accent " << int(chunk[kStep0 + 3 * 2 + 2]) << ", note " << int(chunk[kStep0]);

  // Pattern > Transpose up: every note one semitone higher.
  int before = topLevelWindows();
  xdotool("mousemove" + win + "30 12 click 1");
  ASSERT_TRUE(waitFor([&] { return topLevelWindows() > before; })) << "the Pattern menu opens";
  xdotool("mousemove" + win + "60 91 click 1");
  EXPECT_TRUE(waitFor([&] {
    chunk = host.getChunk();
    return chunk[kStep0] == 16 && chunk[kStep0 + 3] == 16;
  })) << "step 1 " << int(chunk[kStep0]) << ", step 2 " << int(chunk[kStep0 + 3]);

  // The host closes and destroys its window, then opens the editor again in
  // a new one.
  host.dispatch(effEditClose);
  XDestroyWindow(display_, parent);
  Window second = hostWindow();
  host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(second));
  ASSERT_NE(embedded(second), 0u) << "re-embedded into the new window";
  xdotool("mousemove --window " + std::to_string(embedded(second)) + " 140 314 click 1");
  EXPECT_TRUE(waitFor([&] { return host.getChunk()[kStep0 + 3 * 2 + 2] == 0; })) << "and still works";

  // Destroying the instrument ends the editor.
  pid_t editorPid = editorOf(getpid());
  ASSERT_GT(editorPid, 0);
  host.close();
  EXPECT_TRUE(waitFor([&] { return ended(editorPid); }));
  XDestroyWindow(display_, second);
}

TEST_F(EditorWindow, KillingTheHostLeavesNoEditorBehind) {
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  pid_t hostPid = fork();
  if (hostPid == 0) {
    dup2(out[1], 1);
    execl(VORNIX_EDITOR_HOST, VORNIX_EDITOR_HOST, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  struct Reap {  // the host goes whatever happens below
    pid_t pid;
    ~Reap() {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  } reap{hostPid};
  FILE* lines = fdopen(out[0], "r");
  unsigned long window = 0;
  char line[256];
  while (window == 0 && std::fgets(line, sizeof line, lines)) std::sscanf(line, "host window %lu", &window);
  ASSERT_NE(window, 0u) << "the host opened its editor";
  pid_t editorPid = 0;
  ASSERT_TRUE(waitFor([&] { return (editorPid = editorOf(hostPid)) > 0; }));
  ASSERT_NE(embedded(window), 0u);
  const int number = instanceOf(editorPid);
  kill(hostPid, SIGKILL);
  waitpid(hostPid, nullptr, 0);
  EXPECT_TRUE(waitFor([&] { return ended(editorPid); }));
  fclose(lines);
  // A killed host cannot remove its FIFOs; a later instance would reuse
  // them, but the test leaves nothing behind.
  ASSERT_GE(number, 0);
  for (const char* kind : {"/tmp/vornixdui", "/tmp/vornixdplugin"})
    unlink((kind + std::to_string(number) + ".fifo").c_str());
}

}  // namespace
