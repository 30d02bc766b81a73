#include "editor/ui/EditorApp.h"

#include <FL/Fl.H>
#include <unistd.h>

#include <cstdlib>

#include "editor/core/PluginLink.h"

namespace {

// How often the status record is read (tempo and transport change without a
// message) and the host's life checked. Slow enough to cost nothing.
constexpr double kTickSeconds = 0.2;

}  // namespace

EditorApp::EditorApp(PluginLink& link)
    : link_(link),
      commands_([&link](const uint8_t* bytes, size_t size) { link.send(bytes, size); }),
      window_(commands_),
      embedder_(window_),
      host_(getppid()) {}

int EditorApp::run(unsigned long parentWindow) {
  // Escape or a close request must not hide an embedded window: the host
  // decides when the editor goes. On its own (no host window) it may close.
  window_.callback(
      [](Fl_Widget*, void* app) {
        EditorApp* self = static_cast<EditorApp*>(app);
        if (self->embedder_.parent() == 0) self->end();
      },
      this);
  if (link_.mapBlock()) decodeBlock(link_.block(), link_.blockSize(), state_);
  window_.showState(state_);
  embedder_.embed(parentWindow);
  Fl::add_fd(link_.pluginFd(), FL_READ, fifoReadable, this);
  Fl::add_timeout(kTickSeconds, tick, this);
  while (!ending_) Fl::wait(1.0);
  return 0;
}

void EditorApp::fifoReadable(int, void* app) { static_cast<EditorApp*>(app)->readMessages(); }

void EditorApp::tick(void* data) {
  EditorApp* app = static_cast<EditorApp*>(data);
  // The host that started us is gone (we were handed to another parent):
  // nobody will send the quit message.
  if (getppid() != app->host_) {
    app->end();
    return;
  }
  if (!app->link_.block()) {
    if (app->link_.mapBlock()) app->refresh();
  } else {
    TransportState before = app->state_.transport;
    decodeStatus(app->link_.block(), app->link_.blockSize(), app->state_.transport);
    const TransportState& now = app->state_.transport;
    if (now.pattern != before.pattern) {
      app->refresh();
    } else if (now.hostPlaying != before.hostPlaying || now.running != before.running || now.tempo != before.tempo ||
               now.syncType != before.syncType) {
      if (!now.hostPlaying && !now.running) app->window_.showPlayingStep(-1);
      app->window_.showTransport(app->state_);
    }
  }
  Fl::repeat_timeout(kTickSeconds, tick, data);
}

void EditorApp::readMessages() {
  bytes_.clear();
  bool open = link_.receive(bytes_);
  messages_.clear();
  inbox_.feed(bytes_.data(), bytes_.size(), messages_);
  for (const PluginMessage& m : messages_) {
    handle(m);
    if (ending_) return;
  }
  if (!open) end();  // the instrument's end of the FIFO is closed
}

void EditorApp::refresh() {
  decodeBlock(link_.block(), link_.blockSize(), state_);
  window_.showState(state_);
}

void EditorApp::handle(const PluginMessage& m) {
  switch (m.opcode) {
    case kPluginParameter:
      if (m.index < 0 || m.index >= kNumParameters) return;
      state_.params[static_cast<size_t>(m.index)].value = m.value;
      decodeParameter(link_.block(), link_.blockSize(), m.index, state_);
      window_.showParameter(state_, m.index);
      break;
    case kPluginRefresh:
      refresh();
      break;
    case kPluginStep:
      state_.playingStep = m.step < 64 ? m.step : -1;
      window_.showPlayingStep(state_.playingStep);
      break;
    case kPluginMidi: {
      int kind = m.status & 0xF0;
      if (kind == 0x90 && m.data2 > 0) {
        window_.showIncomingNote(m.data1, true);
      } else if (kind == 0x80 || kind == 0x90) {
        window_.showIncomingNote(m.data1, false);
      } else if (m.status == 0xFA || m.status == 0xFC) {  // host transport start, stop
        state_.transport.hostPlaying = m.status == 0xFA;
        if (m.status == 0xFC) window_.showPlayingStep(-1);
        window_.showTransport(state_);
      }
      break;
    }
    case kPluginOpen: {
      unsigned long parent = 0;
      if (parseWindowId(m.window, parent)) embedder_.embed(parent);
      refresh();
      break;
    }
    case kPluginQuit:
      end();
      break;
    case kPluginAlgorithm:
      state_.distoAlgorithm = m.algorithm < 4 ? m.algorithm : 3;
      window_.showState(state_);
      break;
    default:
      break;
  }
}

void EditorApp::end() {
  ending_ = true;
  // A dialog may be running its own loop: leave from here rather than wait
  // for the user to close it.
  std::exit(0);
}
