#include "editorbridge/Krennet3Editor.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "editorbridge/EditorImage.h"
#include "editorbridge/PrivateFiles.h"
#include "editorbridge/SharedBlockLayout.h"

namespace {

constexpr int kNumParameters = 29;
constexpr int kNoteOn = 0x90;
constexpr int kNoteOff = 0x80;
// Messages to the editor are written to the FIFO in batches of at most this
// many bytes, below the pipe's atomic-write size, so a batch is never split
// by another thread's write.
constexpr size_t kForwardBatch = 512;

void report(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

void copyPath(char* destination, const std::string& path) {
  std::strncpy(destination, path.c_str(), 255);
  destination[255] = 0;
}

}  // namespace

template <typename Action>
void Krennet3Editor::runOwned(Action action) {
  m_ownership.enterBridge();
  serveRequests();
  action();
  m_ownership.leaveBridge();
}

Krennet3Editor::Krennet3Editor(EditorTarget& target, StateOwnership& ownership, int instanceNumber)
    : m_target(target), m_ownership(ownership), m_instanceNumber(instanceNumber) {
  const bool programWritten = copyUIExecutable();
  const bool fifosReady = prepareFifo();
  m_refused = !programWritten || !fifosReady;
  m_timer.reset(new Timer());
  m_timer->setCallback(&Krennet3Editor::processFifoMessageCallback, this);
}

Krennet3Editor::~Krennet3Editor() {
  // First of all: no poll may run once any of what follows is gone.
  m_timer.reset();
  forwardMessages();
  if (m_uiFifoFd >= 0) ::close(m_uiFifoFd);
  if (m_ownUiFifo) unlink(m_uiFifoPath);
  if (m_pluginFifoFd >= 0) {
    const uint8_t quit[2] = {kPluginQuit, 0};
    writeToEditor(quit, sizeof(quit));
  }
  if (m_ownPluginFifo) unlink(m_pluginFifoPath);
  if (m_pluginFifoFd >= 0) ::close(m_pluginFifoFd);
  if (m_programFd >= 0) ::close(m_programFd);
  // The editor ends itself on the quit message; it is reaped here, and
  // ended if it does not.
  m_process.finish(kQuitWaitMilliseconds);
}

bool Krennet3Editor::copyUIExecutable() {
  m_uiExecPath = editorProgramPath(m_instanceNumber);
  if (!editorImage() || editorImageSize() == 0) return false;  // built without an editor
  m_programFd = PrivateFiles::writeProgram(m_uiExecPath.c_str(), editorImage(), editorImageSize());
  return m_programFd >= 0;
}

bool Krennet3Editor::prepareFifo() {
  // A write to a FIFO whose reader is gone must fail, not kill the host.
  signal(SIGPIPE, SIG_IGN);
  copyPath(m_uiFifoPath, uiFifoPath(m_instanceNumber));
  copyPath(m_pluginFifoPath, pluginFifoPath(m_instanceNumber));
  m_ownUiFifo = PrivateFiles::createFifo(m_uiFifoPath);
  m_ownPluginFifo = PrivateFiles::createFifo(m_pluginFifoPath);
  return m_ownUiFifo && m_ownPluginFifo;
}

bool Krennet3Editor::openFifos() {
  if (m_uiFifoFd < 0) {
    m_uiFifoFd = PrivateFiles::openFifo(m_uiFifoPath);
    if (m_uiFifoFd < 0) report("VornixVST > ERROR opening FIFO for read");
    // What is at the name now is not ours: neither used nor removed.
    m_ownUiFifo = m_uiFifoFd >= 0;
  }
  if (m_pluginFifoFd < 0) {
    m_pluginFifoFd = PrivateFiles::openFifo(m_pluginFifoPath);
    if (m_pluginFifoFd < 0) report("VornixVST >  ERROR opening FIFO for write");
    m_ownPluginFifo = m_pluginFifoFd >= 0;
  }
  if (m_uiFifoFd < 0 || m_pluginFifoFd < 0) return false;
  // Both FIFOs are ours; one read of the UI FIFO takes up to its capacity.
  m_pipeSize = fcntl(m_uiFifoFd, F_GETPIPE_SZ);
  if (m_pipeSize <= 0) m_pipeSize = 65536;
  m_inbox.assign(static_cast<size_t>(m_pipeSize) + kMaxMessageSize, 0);
  m_pluginFifoReady.store(true, std::memory_order_release);
  return true;
}

bool Krennet3Editor::getRect(ERect** rect) {
  *rect = &m_rect;
  return true;
}

bool Krennet3Editor::open(void* parentWindow) {
  if (m_refused) {
    report("VornixVST > open : no editor: its program or its FIFOs in /tmp could not be set up as ours");
    return false;
  }
  if (!openUI(parentWindow)) return false;
  m_isOpen.store(true, std::memory_order_relaxed);
  return true;
}

bool Krennet3Editor::openUI(void* parentWindow) {
  const std::string window = std::to_string(reinterpret_cast<uintptr_t>(parentWindow));
  const std::string number = std::to_string(m_instanceNumber);
  if (m_firstOpen) {
    // The FIFOs are opened before the program starts, so nothing the
    // editor writes at once is lost.
    if (!openFifos()) {
      m_refused = true;
      return false;
    }
    std::string name = "VornixUI";
    char* argv[] = {&name[0], const_cast<char*>(window.c_str()), const_cast<char*>(number.c_str()), nullptr};
    m_process.start(m_programFd, argv);
    m_firstOpen = false;
  } else if (m_pluginFifoFd < 0) {
    report("VornixVST > open : plugin fifo handle is not valid");
  } else {
    PluginMessage message;
    message.opcode = kPluginOpen;
    message.window = window;
    uint8_t bytes[6 + kMaxWindowTextLength];
    const size_t size = encodePluginMessage(message, bytes, sizeof(bytes));
    if (write(m_pluginFifoFd, bytes, size) != static_cast<ssize_t>(size)) {
      std::printf("VornixVST > open message FAILED to write to plugin FIFO  err= %d\n", errno);
      std::fflush(stdout);
    }
  }
  // Runs from the first open to the destruction: it also forwards what the
  // instrument has for the editor while the window is closed.
  if (!m_timer->armed()) m_timer->start(kPollMilliseconds);
  return true;
}

void Krennet3Editor::close() {
  // The editor program keeps running, its window without a parent, and
  // waits for the next open message. Its requests wait in the UI FIFO.
  m_isOpen.store(false, std::memory_order_relaxed);
}

void Krennet3Editor::dispatcher(int opcode, int index, int value, float opt) {
  if (!m_pluginFifoReady.load(std::memory_order_acquire)) return;  // lost, as on a FIFO not open yet
  PluginMessage message;
  message.opcode = static_cast<uint8_t>(opcode);
  switch (opcode) {
    case kPluginParameter:
      message.index = index;
      message.value = opt;
      break;
    case kPluginRefresh:
      break;
    case kPluginStep:
      message.step = static_cast<uint8_t>(index);
      break;
    case kPluginMidi:
      message.status = static_cast<uint8_t>(index);
      message.data1 = static_cast<uint8_t>(value);
      message.data2 = static_cast<uint8_t>(static_cast<int>(opt));
      break;
    case kPluginAlgorithm:
      message.algorithm = static_cast<uint8_t>(index);
      break;
    default:
      return;
  }
  uint8_t bytes[MessageRing::kMaxMessage];
  const size_t size = encodePluginMessage(message, bytes, sizeof(bytes));
  if (size > 0) m_outbox.push(bytes, size);
}

void Krennet3Editor::setParameter(int index, float value) {
  if (isOpen()) dispatcher(kPluginParameter, index, 0, value);
}

void Krennet3Editor::updateDisplay() {
  if (isOpen()) dispatcher(kPluginRefresh, 0, 0, 0.0f);
}

void Krennet3Editor::processStep(int step) {
  if (isOpen()) dispatcher(kPluginStep, step, 0, 0.0f);
}

void Krennet3Editor::sendMidiMessage(int status, int data1, int data2) {
  dispatcher(kPluginMidi, status, data1, static_cast<float>(data2));
}

void Krennet3Editor::processFifoMessageCallback(void* bridge) {
  static_cast<Krennet3Editor*>(bridge)->tick();
}

void Krennet3Editor::tick() {
  m_process.running();  // reaps an editor that has ended
  forwardMessages();
  if (isOpen()) processMessageFromUI();
  if (!m_requests.empty() && m_ownership.audioIdle()) runOwned([] {});
  forwardMessages();
}

void Krennet3Editor::writeToEditor(const uint8_t* bytes, size_t size) {
  // Lost when the FIFO is full or the editor gone; never waited for.
  const ssize_t ignored = write(m_pluginFifoFd, bytes, size);
  (void)ignored;
}

void Krennet3Editor::forwardMessages() {
  if (m_pluginFifoFd < 0) return;
  uint8_t batch[kForwardBatch];
  size_t used = 0;
  uint8_t message[MessageRing::kMaxMessage];
  while (size_t size = m_outbox.pop(message)) {
    if (used + size > sizeof(batch)) {
      writeToEditor(batch, used);
      used = 0;
    }
    std::memcpy(batch + used, message, size);
    used += size;
  }
  if (used > 0) writeToEditor(batch, used);
}

void Krennet3Editor::processMessageFromUI() {
  if (m_pipeSize <= 0 || m_uiFifoFd < 0) return;
  ssize_t got;
  do {
    got = read(m_uiFifoFd, m_inbox.data() + m_inboxUsed, m_inbox.size() - m_inboxUsed);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) return;
  const size_t total = m_inboxUsed + static_cast<size_t>(got);
  size_t at = 0;
  EditorMessage message;
  while (at < total) {
    const DecodeResult result = decodeEditorMessage(m_inbox.data() + at, total - at, message);
    if (result.status == DecodeStatus::kComplete) {
      execute(message);
      at += result.size;
      continue;
    }
    if (result.status == DecodeStatus::kIncomplete) break;  // the rest comes with the next poll
    // The opcode as a signed byte, as the editor's developers know the line.
    const unsigned shown = static_cast<unsigned>(static_cast<int>(static_cast<signed char>(m_inbox[at])));
    if (result.status == DecodeStatus::kUnhandled)
      std::printf("VornixVST > processMessageFromUI : unhandled opcode %x\n", shown);
    else
      std::printf("VornixVST > processMessageFromUI : message too long, opcode %x\n", shown);
    std::fflush(stdout);
    at = total;  // nothing after it can be trusted
  }
  m_inboxUsed = total - at;
  if (m_inboxUsed > 0) std::memmove(m_inbox.data(), m_inbox.data() + at, m_inboxUsed);
}

void Krennet3Editor::execute(const EditorMessage& message) {
  EditorRequest request;
  request.opcode = message.opcode;
  request.kind = message.kind;
  request.target = message.target;
  switch (message.opcode) {
    case kEditorParameter:
      if (message.index < 0 || message.index >= kNumParameters) return;  // no such parameter
      request.index = message.index;
      request.value = message.value;
      break;
    case kEditorMidi:
    case kEditorMidi3:
    case kEditorMidi4:
      if (message.status != kNoteOn && message.status != kNoteOff) return;
      request.opcode = kEditorMidi;
      request.status = message.status;
      request.data1 = message.data1;
      request.data2 = message.data2;
      break;
    case kEditorEditStep:
      request.number = message.number;
      break;
    case kEditorRename:
      // Renaming allocates the new name: it runs here, not on the audio
      // thread.
      request.textLength = static_cast<uint8_t>(message.text.size());
      std::memcpy(request.text, message.text.data(), message.text.size());
      runOwned([this, &request] { m_target.performEditorRequest(request); });
      return;
    case kEditorPlay17:
      request.opcode = kEditorPlay;
      break;
    case kEditorExport:
    case kEditorImport:
      // Everything queued before the request comes first.
      runOwned([] {});
      m_target.performFileRequest(message, [this](const std::function<void()>& change) {
        m_ownership.enterBridge();
        serveRequests();
        change();
        m_ownership.leaveBridge();
      });
      return;
    default:
      break;  // randomise, pattern edit, slot action, play, stop, gain
  }
  queueRequest(request);
}

void Krennet3Editor::queueRequest(const EditorRequest& request) {
  // A full queue is served here, while owning the state.
  while (!m_requests.push(request)) runOwned([] {});
}

void Krennet3Editor::serveRequests() {
  EditorRequest request;
  while (m_requests.pop(request)) m_target.performEditorRequest(request);
}
