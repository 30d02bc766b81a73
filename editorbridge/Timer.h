// The bridge's polling clock: calls one function every period on a thread
// of its own. Polls never overlap (there is one thread; an expiry that
// falls while a poll still runs is skipped), stop() waits for a poll in
// progress, and the destructor ends the thread, so no poll runs once the
// Timer is gone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class Timer {
 public:
  using Callback = void (*)(void* argument);

  Timer() = default;
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void setCallback(Callback callback, void* argument);
  // Arms the timer: the first call milliseconds from now, then one every
  // milliseconds. The thread starts on the first start; false (with the
  // creation diagnostic) when it cannot.
  bool start(int milliseconds);
  // Disarms it; returns after a poll in progress has finished (unless
  // called from the poll itself).
  void stop();
  bool armed() const;
  // Runs the callback once, when both it and its argument are set.
  void callback();

 private:
  void run();

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;
  std::thread m_thread;
  Callback m_callback = nullptr;
  void* m_callbackArg = nullptr;
  std::chrono::milliseconds m_period{0};
  std::chrono::steady_clock::time_point m_next;
  bool m_armed = false;
  bool m_quit = false;
  bool m_inCallback = false;
};
