// The editor program: "VornixUI" w n, where w is the host's window (decimal
// X window id) and n the instrument's instance number, which names the
// shared block and the two FIFOs.
#include <FL/Fl.H>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "editor/core/PluginLink.h"
#include "editor/ui/EditorApp.h"
#include "editor/ui/Theme.h"

namespace {

bool allDigits(const char* s, size_t maxLen) {
  size_t n = 0;
  for (; s[n]; ++n) {
    if (s[n] < '0' || s[n] > '9' || n >= maxLen) return false;
  }
  return n > 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || !allDigits(argv[1], 20) || !allDigits(argv[2], 9)) {
    std::fprintf(stderr, "usage: VornixUI WINDOW-ID INSTANCE\n");
    return 2;
  }
  // No parent-death signal: it follows the host thread that forked us, and a
  // host may open its editor from a short-lived thread. The FIFO's end of file
  // and the parent check in EditorApp follow the host process instead.
  std::signal(SIGPIPE, SIG_IGN);
  unsigned long parent = std::strtoul(argv[1], nullptr, 10);

  PluginLink link;
  std::string error;
  if (!link.open(std::atoi(argv[2]), error)) {
    std::fprintf(stderr, "VornixUI: cannot open %s\n", error.c_str());
    return 1;
  }
  Fl::option(Fl::OPTION_FNFC_USES_GTK, false);
  theme::apply();
  EditorApp app(link);
  return app.run(parent);
}
