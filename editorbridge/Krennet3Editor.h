// The editor bridge: the instrument's VST editor object. The editor window
// is a separate program that the plug-in carries, writes to /tmp and starts
// the first time the host opens the editor, passing the host's window and
// the instance number n; later opens send it the new window. The two talk
// over two FIFOs (MessageCodec.h) and the shared block (SharedBlock.h).
//
// Threads:
// - Messages to the editor may be made on any thread (the audio thread's
//   step echoes included). They go into a lock-free ring (MessageRing) and
//   the bridge's timer thread writes them to the plug-in FIFO.
// - The timer thread polls the UI FIFO every 10 ms while the window is
//   open. Requests that change what the audio thread reads are queued
//   (RequestQueue) and run by the audio thread at its next block start;
//   renames and file import and export, which allocate or do I/O, run on
//   the timer thread while it owns the instrument's state (StateOwnership),
//   after everything queued before them. When the host is not processing,
//   the timer thread runs the queued requests itself.
// - The host's user-interface thread opens, closes and destroys the bridge.
//   The destructor ends the timer thread before anything else, so no poll
//   outlives the bridge.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "editorbridge/EditorProcess.h"
#include "editorbridge/EditorRequest.h"
#include "editorbridge/MessageRing.h"
#include "editorbridge/RequestQueue.h"
#include "editorbridge/StateOwnership.h"
#include "editorbridge/Timer.h"
#include "plugin/AEffEditor.h"

class Krennet3Editor : public AEffEditor {
 public:
  static constexpr int kPollMilliseconds = 10;
  // How long the destructor lets the editor end itself after the quit
  // message before ending it.
  static constexpr int kQuitWaitMilliseconds = 2000;
  static constexpr size_t kQueuedRequests = 256;
  static constexpr int kWidth = 621;
  static constexpr int kHeight = 437;

  // Writes the editor program and creates the FIFOs; the program starts at
  // the first open. A hostile object in place of the FIFOs or the program
  // file refuses the editor (open answers false).
  Krennet3Editor(EditorTarget& target, StateOwnership& ownership, int instanceNumber);
  ~Krennet3Editor() override;
  Krennet3Editor(const Krennet3Editor&) = delete;
  Krennet3Editor& operator=(const Krennet3Editor&) = delete;

  // The host's editor calls.
  bool getRect(ERect** rect) override;
  bool open(void* parentWindow) override;
  void close() override;
  void idle() override {}
  bool isOpen() const { return m_isOpen.load(std::memory_order_relaxed); }

  // Messages to the editor; any thread, never blocking. dispatcher makes
  // opcode 1 (index, opt), 2, 3 (index), 4 (index, value, opt) and 16
  // (index); only the low byte goes where the message has a byte.
  void dispatcher(int opcode, int index, int value, float opt);
  // Parameter echo, refresh and step: only while the window is open.
  void setParameter(int index, float value);
  void updateDisplay();
  void processStep(int step);
  // MIDI echo: also while the window is closed (it waits in the FIFO).
  void sendMidiMessage(int status, int data1, int data2);

  // Runs the editor requests queued since the last call. The caller owns
  // the instrument's state (the audio thread at a block start).
  void serveRequests();

  // One poll of the UI FIFO: reads what the editor wrote and executes it in
  // order; an unfinished message waits for the next poll.
  void processMessageFromUI();
  static void processFifoMessageCallback(void* bridge);

 private:
  bool copyUIExecutable();
  bool prepareFifo();
  bool openFifos();
  bool openUI(void* parentWindow);
  void tick();
  void forwardMessages();
  void execute(const EditorMessage& message);
  void queueRequest(const EditorRequest& request);
  // Runs a request on this thread while owning the state, after everything
  // queued before it.
  template <typename Action>
  void runOwned(Action action);
  void writeToEditor(const uint8_t* bytes, size_t size);

  ERect m_rect{0, 0, kHeight, kWidth};
  EditorTarget& m_target;
  StateOwnership& m_ownership;
  std::atomic<bool> m_isOpen{false};
  std::atomic<bool> m_pluginFifoReady{false};
  int m_instanceNumber;
  bool m_firstOpen = true;
  bool m_refused = false;  // a hostile /tmp object: no editor
  bool m_ownFifos = false;  // the FIFO files are ours to remove

  std::string m_uiExecPath;
  int m_programFd = -1;
  char m_uiFifoPath[256] = {};
  char m_pluginFifoPath[256] = {};
  int m_uiFifoFd = -1;
  int m_pluginFifoFd = -1;
  int m_pipeSize = 0;

  EditorProcess m_process;
  MessageRing m_outbox;
  RequestQueue<EditorRequest, kQueuedRequests> m_requests;
  // Bytes read from the UI FIFO; an unfinished message's bytes stay at the
  // front until the rest arrives.
  std::vector<uint8_t> m_inbox;
  size_t m_inboxUsed = 0;
  std::unique_ptr<Timer> m_timer;
};
