// The polling clock: a poll slower than the period never overlaps the next,
// and none runs once the timer is gone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "editorbridge/Timer.h"

namespace {

struct Probe {
  std::atomic<int> running{0};
  std::atomic<int> mostAtOnce{0};
  std::atomic<int> calls{0};
};

void slowPoll(void* argument) {
  auto* probe = static_cast<Probe*>(argument);
  const int now = probe->running.fetch_add(1) + 1;
  if (now > probe->mostAtOnce.load()) probe->mostAtOnce.store(now);
  std::this_thread::sleep_for(std::chrono::milliseconds(25));  // slower than the 10 ms period
  probe->running.fetch_sub(1);
  probe->calls.fetch_add(1);
}

TEST(BridgeTimer, SlowPollsNeverOverlapAndNoneOutlivesTheTimer) {
  Probe probe;
  {
    Timer timer;
    timer.setCallback(&slowPoll, &probe);
    ASSERT_TRUE(timer.start(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  const int calls = probe.calls.load();
  EXPECT_EQ(probe.running.load(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(probe.calls.load(), calls);
  EXPECT_EQ(probe.mostAtOnce.load(), 1);
  EXPECT_GE(calls, 3);
}

}  // namespace
