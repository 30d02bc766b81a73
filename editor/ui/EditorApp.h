// The editor program's life: embed the window, follow the instrument's
// messages and shared block, send the user's requests, and end when the
// instrument says so or is gone (quit message, end of file on its FIFO, or
// the host process no longer our parent).
#pragma once

#include <sys/types.h>

#include <vector>

#include "editor/core/Commands.h"
#include "editor/core/EditorState.h"
#include "editor/core/Inbox.h"
#include "editor/ui/EditorWindow.h"
#include "editor/ui/Embedder.h"

class PluginLink;

class EditorApp {
 public:
  explicit EditorApp(PluginLink& link);

  // Runs until the instrument ends; the process's exit status.
  int run(unsigned long parentWindow);

 private:
  static void fifoReadable(int fd, void* app);
  static void tick(void* app);
  void readMessages();
  void handle(const PluginMessage& message);
  void refresh();
  void end();

  PluginLink& link_;
  EditorState state_;
  Commands commands_;
  EditorWindow window_;
  Embedder embedder_;
  Inbox inbox_;
  std::vector<uint8_t> bytes_;
  std::vector<PluginMessage> messages_;
  pid_t host_;
  bool ending_ = false;
};
