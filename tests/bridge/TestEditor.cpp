// The editor program the bridge tests carry in their plug-in module instead
// of the real one. It needs no X server: it records its command line, the
// state of the shared block it maps by its number, and every message it
// reads from the plug-in FIFO as one line each in $VORNIX_STANDIN_LOG/<n>.log,
// and ends on the quit message, as the real editor does.
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "editorbridge/MessageCodec.h"
#include "editorbridge/SharedBlockLayout.h"

namespace {

int g_log = -1;

void logLine(const std::string& line) {
  const std::string text = line + "\n";
  if (write(g_log, text.data(), text.size()) < 0) _exit(3);
}

std::string describe(const PluginMessage& m) {
  char text[128];
  switch (m.opcode) {
    case kPluginParameter: std::snprintf(text, sizeof(text), "1 %d %g", m.index, m.value); break;
    case kPluginStep: std::snprintf(text, sizeof(text), "3 %d", m.step); break;
    case kPluginMidi: std::snprintf(text, sizeof(text), "4 %d %d %d", m.status, m.data1, m.data2); break;
    case kPluginOpen: std::snprintf(text, sizeof(text), "6 %s", m.window.c_str()); break;
    case kPluginAlgorithm: std::snprintf(text, sizeof(text), "16 %d", m.algorithm); break;
    default: std::snprintf(text, sizeof(text), "%d", m.opcode); break;
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const char* directory = std::getenv("VORNIX_STANDIN_LOG");
  if (argc != 4 || !directory) return 2;
  const int number = std::atoi(argv[3]);
  const std::string path = std::string(directory) + "/" + std::to_string(number) + ".log";
  g_log = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (g_log < 0) return 2;

  // Descriptors 3 and up would be the host's, leaked into us.
  int leaked = 0;
  for (int fd = 3; fd < 256; ++fd)
    if (fd != g_log && fcntl(fd, F_GETFD) != -1) ++leaked;
  logLine(std::string("start ") + argv[0] + " " + argv[1] + " " + argv[2] + " pid " + std::to_string(getpid()) +
          " leaked " + std::to_string(leaked));

  const int shm = shm_open(sharedBlockName(number).c_str(), O_RDONLY, 0);
  struct stat info;
  logLine(shm >= 0 && fstat(shm, &info) == 0 && info.st_size == static_cast<off_t>(SharedBlockLayout::kSize)
              ? "block ok"
              : "block missing");

  const int fromPlugin = open(pluginFifoPath(number).c_str(), O_RDONLY | O_CLOEXEC);
  if (fromPlugin < 0) return 1;
  std::vector<uint8_t> pending;
  for (;;) {
    uint8_t buffer[4096];
    const ssize_t got = read(fromPlugin, buffer, sizeof(buffer));
    if (got <= 0) {
      logLine("eof");
      return 0;
    }
    pending.insert(pending.end(), buffer, buffer + got);
    size_t at = 0;
    PluginMessage message;
    for (;;) {
      const DecodeResult result = decodePluginMessage(pending.data() + at, pending.size() - at, message);
      if (result.status == DecodeStatus::kIncomplete) break;
      if (result.status != DecodeStatus::kComplete) {
        logLine("garbage " + std::to_string(pending[at]));
        return 1;
      }
      at += result.size;
      logLine(describe(message));
      if (message.opcode == kPluginQuit) return 0;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
  }
}
