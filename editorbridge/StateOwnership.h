// Who may change the instrument's state right now: the host's audio thread
// while it runs a block, or the editor bridge's timer thread while it
// applies an editor request. The two never act at once.
//
// The audio thread never waits: at the start of processEvents and
// processReplacing it tries to take the state, and in the rare moment the
// bridge holds it (an import in progress) it leaves that call's work for
// later (the block is silent, the MIDI is kept). The bridge waits, sleeping
// in short steps, for the gap between two audio calls.
//
// Most editor requests do not need the bridge to hold the state at all:
// they are queued and run by the audio thread at its next block start. The
// bridge takes the state itself for what must not run on the audio thread
// (file import and export), when its queue is full, and when the host has
// stopped processing, so queued requests still take effect; audioIdle()
// says when that is.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

class StateOwnership {
 public:
  // No audio call for this long while resumed means the host has stopped
  // processing (longer than any real-time block).
  static constexpr std::chrono::milliseconds kIdleAfter{100};

  // Audio thread, at the start of processEvents and processReplacing.
  bool tryEnterAudio();
  void leaveAudio();

  // Bridge thread.
  void enterBridge();
  void leaveBridge();

  // The host's resume and suspend.
  void setProcessing(bool processing) { m_processing.store(processing, std::memory_order_relaxed); }

  // Bridge thread only: true when no audio call is to be expected soon,
  // because the host suspended the instrument and no call has come since
  // the last check, or because none has come for kIdleAfter.
  bool audioIdle();

 private:
  enum Owner : int { kFree = 0, kAudio = 1, kBridge = 2 };

  std::atomic<int> m_owner{kFree};
  std::atomic<uint32_t> m_audioCalls{0};
  std::atomic<bool> m_processing{false};
  // Bridge-side bookkeeping of audioIdle.
  uint32_t m_seenCalls = 0;
  std::chrono::steady_clock::time_point m_seenAt = std::chrono::steady_clock::now();
};
