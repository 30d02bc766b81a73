// A bare host with a window: loads the built plug-in, creates a 621 x 437 X
// window, opens the instrument's editor in it and, with --play, runs the
// host transport at 120 BPM in real time so the sequencer plays. Prints the
// line "host window <id>" (the plug-in prints its own lines too). Used by scripts/editor-shot.sh and by the
// editor window tests (as a host process they can kill).
//
//   vornix-editor-host [--play] [--seconds N]      (N = 0: until killed)
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "support/FakeHost.h"

using vornix::test::FakeHost;

int main(int argc, char** argv) {
  bool play = false;
  double seconds = 0;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--play")) play = true;
    else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc) seconds = std::atof(argv[++i]);
    else {
      std::fprintf(stderr, "usage: %s [--play] [--seconds N]\n", argv[0]);
      return 2;
    }
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "no X display\n");
    return 1;
  }
  FakeHost host;
  if (!host.valid()) return 1;
  host.resume();
  ERect* rect = nullptr;
  host.dispatch(effEditGetRect, 0, 0, &rect);
  int w = rect ? rect->right - rect->left : 621, h = rect ? rect->bottom - rect->top : 437;
  Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(w),
                                      static_cast<unsigned>(h), 0, 0, 0);
  XStoreName(display, window, "Vornix test host");
  XMapWindow(display, window);
  XSync(display, False);
  host.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(window));
  std::printf("host window %lu\n", static_cast<unsigned long>(window));
  std::fflush(stdout);

  const int block = 512;
  const auto blockTime = std::chrono::microseconds(block * 1000000LL / 44100);
  if (play) host.play(120.0);
  auto start = std::chrono::steady_clock::now(), next = start;
  while (seconds <= 0 || std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
    if (play) host.render(block);
    host.dispatch(effEditIdle);
    next += blockTime;
    std::this_thread::sleep_until(next);
  }
  host.dispatch(effEditClose);
  host.close();
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  return 0;
}
