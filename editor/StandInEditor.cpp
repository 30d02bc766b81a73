// A small editor program that stands in for the editor application: it
// takes the command line the plug-in gives it ("VornixUI" WINDOW NUMBER),
// maps the shared block and opens both FIFOs by the number, puts a plain
// window into the host's window (and into the new one on every open
// message), logs every message it receives with what the block then says,
// and ends on the quit message (or when the plug-in's FIFO closes).
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "editorbridge/MessageCodec.h"
#include "editorbridge/SharedBlockLayout.h"

namespace {

class EditorWindow {
 public:
  ~EditorWindow() {
    if (!m_display) return;
    XDestroyWindow(m_display, m_window);
    XCloseDisplay(m_display);
  }

  // Without an X server the program still serves the FIFOs.
  void open(unsigned long parent) {
    m_display = XOpenDisplay(nullptr);
    if (!m_display) {
      std::printf("VornixUI > no X display; running without a window\n");
      return;
    }
    const int screen = DefaultScreen(m_display);
    m_window = XCreateSimpleWindow(m_display, RootWindow(m_display, screen), 0, 0, 621, 437, 0,
                                   BlackPixel(m_display, screen), BlackPixel(m_display, screen));
    XSelectInput(m_display, m_window, ExposureMask);
    reparent(parent);
    XMapWindow(m_display, m_window);
    XFlush(m_display);
  }

  void reparent(unsigned long parent) {
    if (!m_display || parent == 0) return;
    XReparentWindow(m_display, m_window, static_cast<::Window>(parent), 0, 0);
    XMapWindow(m_display, m_window);
    XFlush(m_display);
  }

  int fd() const { return m_display ? ConnectionNumber(m_display) : -1; }

  void drawStatus(const std::string& text) {
    m_status = text;
    redraw();
  }

  void handleEvents() {
    while (m_display && XPending(m_display) > 0) {
      XEvent event;
      XNextEvent(m_display, &event);
      if (event.type == Expose) redraw();
    }
  }

 private:
  void redraw() {
    if (!m_display) return;
    const int screen = DefaultScreen(m_display);
    XClearWindow(m_display, m_window);
    GC gc = DefaultGC(m_display, screen);
    XSetForeground(m_display, gc, WhitePixel(m_display, screen));
    const char* title = "Vornix";
    XDrawString(m_display, m_window, gc, 16, 24, title, static_cast<int>(std::strlen(title)));
    XDrawString(m_display, m_window, gc, 16, 48, m_status.c_str(), static_cast<int>(m_status.size()));
    XFlush(m_display);
  }

  Display* m_display = nullptr;
  ::Window m_window = 0;
  std::string m_status;
};

std::string describeBlock(const uint8_t* block) {
  if (!block) return "no shared block";
  const BlockStatus status = readStatus(block);
  char text[200];
  std::snprintf(
      text, sizeof(text), "pattern %u \"%s\", %d steps, tempo %d, sync %u%s%s", status.currentPattern + 1,
      readPatternName(block, static_cast<int>(status.currentPattern)).c_str(),
      readPatternLength(block, static_cast<int>(status.currentPattern)), status.tempo, status.syncType,
      status.hostPlaying ? ", host playing" : "", status.internalRunning ? ", running" : "");
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: VornixUI WINDOW NUMBER\n");
    return 2;
  }
  setvbuf(stdout, nullptr, _IOLBF, 0);
  const unsigned long parent = std::strtoul(argv[1], nullptr, 10);
  const int number = std::atoi(argv[2]);
  std::printf("VornixUI > started for window %lu, instance %d\n", parent, number);

  const uint8_t* block = nullptr;
  const int shm = shm_open(sharedBlockName(number).c_str(), O_RDONLY, 0);
  if (shm >= 0) {
    void* mapped = mmap(nullptr, SharedBlockLayout::kSize, PROT_READ, MAP_SHARED, shm, 0);
    if (mapped != MAP_FAILED) block = static_cast<const uint8_t*>(mapped);
    close(shm);
  }
  // The plug-in holds both FIFOs open, so neither open waits.
  const int toPlugin = open(uiFifoPath(number).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  const int fromPlugin = open(pluginFifoPath(number).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fromPlugin < 0) {
    std::printf("VornixUI > cannot open %s\n", pluginFifoPath(number).c_str());
    return 1;
  }

  EditorWindow window;
  window.open(parent);
  window.drawStatus(describeBlock(block));

  std::vector<uint8_t> pending;
  bool quit = false;
  while (!quit) {
    pollfd fds[2] = {{fromPlugin, POLLIN, 0}, {window.fd(), POLLIN, 0}};
    if (poll(fds, window.fd() >= 0 ? 2 : 1, 500) < 0 && errno != EINTR) break;
    window.handleEvents();
    uint8_t buffer[4096];
    const ssize_t got = read(fromPlugin, buffer, sizeof(buffer));
    if (got == 0) break;  // the plug-in is gone
    if (got < 0) continue;
    pending.insert(pending.end(), buffer, buffer + got);
    size_t at = 0;
    PluginMessage message;
    while (!quit && at < pending.size()) {
      const DecodeResult result = decodePluginMessage(pending.data() + at, pending.size() - at, message);
      if (result.status == DecodeStatus::kIncomplete) break;
      if (result.status != DecodeStatus::kComplete) {
        std::printf("VornixUI > unknown message %d, dropping %zu bytes\n", pending[at], pending.size() - at);
        at = pending.size();
        break;
      }
      at += result.size;
      switch (message.opcode) {
        case kPluginParameter:
          std::printf("VornixUI > parameter %d = %g \"%s\"\n", message.index, message.value,
                      block ? readParameterText(block, message.index).c_str() : "");
          break;
        case kPluginRefresh:
          std::printf("VornixUI > refresh: %s\n", describeBlock(block).c_str());
          window.drawStatus(describeBlock(block));
          break;
        case kPluginStep:
          std::printf("VornixUI > step %d\n", message.step);
          break;
        case kPluginMidi:
          std::printf("VornixUI > MIDI %02x %d %d\n", message.status, message.data1, message.data2);
          break;
        case kPluginOpen:
          std::printf("VornixUI > open in window %s\n", message.window.c_str());
          window.reparent(std::strtoul(message.window.c_str(), nullptr, 10));
          break;
        case kPluginQuit:
          std::printf("VornixUI > quit\n");
          quit = true;
          break;
        case kPluginAlgorithm:
          std::printf("VornixUI > distortion algorithm %d\n", message.algorithm);
          break;
        default:
          break;
      }
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
  }
  if (toPlugin >= 0) close(toPlugin);
  close(fromPlugin);
  return 0;
}
