#include "editorbridge/Timer.h"

#include <errno.h>

#include <cstdio>
#include <system_error>

Timer::~Timer() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quit = true;
    m_armed = false;
  }
  m_wake.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

void Timer::setCallback(Callback callback, void* argument) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_callback = callback;
  m_callbackArg = argument;
}

bool Timer::start(int milliseconds) {
  if (milliseconds <= 0) return false;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_period = std::chrono::milliseconds(milliseconds);
    m_next = std::chrono::steady_clock::now() + m_period;
    m_armed = true;
  }
  if (!m_thread.joinable()) {
    try {
      m_thread = std::thread(&Timer::run, this);
    } catch (const std::system_error& failure) {
      const int error = failure.code().value();
      std::printf("timer creation failed err = %d\n", error);
      if (error == ENOMEM) std::printf("Could not allocate memory. ");
      if (error == EINVAL) std::printf("Clock ID, sigev_notify, sigev_signo, or sigev_notify_thread_id is invalid. ");
      if (error == EAGAIN) std::printf("Temporary error during kernel allocation of timer structures. ");
      std::fflush(stdout);
      std::lock_guard<std::mutex> lock(m_mutex);
      m_armed = false;
      return false;
    }
  }
  m_wake.notify_all();
  return true;
}

void Timer::stop() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_armed = false;
  m_wake.notify_all();
  if (std::this_thread::get_id() == m_thread.get_id()) return;
  m_wake.wait(lock, [this] { return !m_inCallback; });
}

bool Timer::armed() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_armed;
}

void Timer::callback() {
  Callback function;
  void* argument;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    function = m_callback;
    argument = m_callbackArg;
  }
  if (function && argument) function(argument);
}

void Timer::run() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_quit) {
    if (!m_armed) {
      m_wake.wait(lock);
      continue;
    }
    if (m_wake.wait_until(lock, m_next) != std::cv_status::timeout) continue;  // re-armed, stopped or quitting
    if (!m_armed || m_quit || std::chrono::steady_clock::now() < m_next) continue;
    m_inCallback = true;
    lock.unlock();
    callback();
    lock.lock();
    m_inCallback = false;
    m_wake.notify_all();
    // Expiries missed while the poll ran are skipped, not made up.
    const auto now = std::chrono::steady_clock::now();
    m_next += m_period;
    if (m_next <= now) m_next = now + m_period;
  }
}
