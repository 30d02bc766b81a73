// The editor program the bridge tests carry in their plug-in module instead
// of the real one; it needs no X server. It logs its command line (and how
// many descriptors it inherited beyond 0..2), whether the shared block of
// its number exists, and every message it reads from the plug-in FIFO, one
// line each, to $VORNIX_STANDIN_LOG/<n>.log; it ends on the quit message.
#include <fcntl.h>
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
  char text[64];
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
  if (argc != 3 || !directory) return 2;
  const int number = std::atoi(argv[2]);
  g_log = open((std::string(directory) + "/" + argv[2] + ".log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
               0600);
  if (g_log < 0) return 2;
  int leaked = 0;
  for (int fd = 3; fd < 1024; ++fd) leaked += fd != g_log && fcntl(fd, F_GETFD) != -1;
  logLine(std::string("start ") + argv[0] + " " + argv[1] + " " + argv[2] + " leaked " + std::to_string(leaked));
  logLine("pid " + std::to_string(getpid()));
  const int shm = shm_open(sharedBlockName(number).c_str(), O_RDONLY, 0);
  struct stat info;
  const bool block = shm >= 0 && fstat(shm, &info) == 0 && info.st_size == SharedBlockLayout::kSize;
  logLine(block ? "block ok" : "block missing");

  const int fromPlugin = open(pluginFifoPath(number).c_str(), O_RDONLY | O_CLOEXEC);
  std::vector<uint8_t> pending;
  uint8_t buffer[4096];
  for (ssize_t got; fromPlugin >= 0 && (got = read(fromPlugin, buffer, sizeof(buffer))) > 0;) {
    pending.insert(pending.end(), buffer, buffer + got);
    PluginMessage message;
    DecodeResult result;
    while ((result = decodePluginMessage(pending.data(), pending.size(), message)).status == DecodeStatus::kComplete) {
      pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(result.size));
      logLine(describe(message));
      if (message.opcode == kPluginQuit) return 0;
    }
    if (result.status != DecodeStatus::kIncomplete) logLine("garbage");
  }
  logLine("eof");
  return 0;
}
