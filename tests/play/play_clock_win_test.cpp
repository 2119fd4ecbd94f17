// The Windows player clock on the real system (Windows build only): a wait
// never ends before its deadline whichever of sleep, doze and spin it uses,
// a plain sleep never spins, and a wake-up ends a spin or a sleep. A broken wake-up makes these tests hang rather
// than fail.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "play/play_clock_win.h"
#include "play/player_fakes.h"

namespace tesmuro::play {
namespace {

TEST(WinPlayClockTest, WaitsNeverEndBeforeTheirDeadline) {
  WinPlayClock clock;
  // Waits of 0 to 24 ms: long ones sleep (and give the doze its trials),
  // short ones spin or doze.
  for (int i = 0; i < 40; ++i) {
    const int64_t deadline = clock.NowMicros() + (i % 2 ? 24000 : (i * 97) % 3000);
    EXPECT_TRUE(clock.WaitUntil(deadline));
    EXPECT_GE(clock.NowMicros(), deadline) << "wait " << i;
  }
  EXPECT_GT(clock.Planner().SleepMargin().Observed(), 0);
  EXPECT_GT(clock.Planner().DozeMargin().Observed(), 0) << "no trial doze";
}

TEST(WinPlayClockTest, WakeEndsTheCurrentOrNextWaitOnce) {
  WinPlayClock clock;
  test::ExpectWakeEndsTheCurrentOrNextWaitOnce(clock);
}

TEST(WinPlayClockTest, AWakeUpEndsASpin) {
  // A sleep margin of an hour: every shorter wait is spun.
  WaitMargin::Settings hour;
  hour.initialMicros = hour.floorMicros = hour.ceilingMicros = int64_t{3600} * 1000000;
  WinPlayClock clock(hour, WaitPlanner::DefaultDoze(), false);
  std::atomic<bool> waiting{false};
  std::thread waker([&] {
    while (!waiting.load()) std::this_thread::yield();
    ::Sleep(20);  // most likely spinning by now; an earlier wake-up is pending instead
    clock.Wake();
  });
  waiting.store(true);
  EXPECT_FALSE(clock.WaitUntil(clock.NowMicros() + int64_t{600} * 1000000));
  waker.join();
  EXPECT_EQ(clock.Planner().SleepMargin().Observed(), 0) << "it slept";

  // The wake-up is taken: the next wait runs to its deadline.
  const int64_t deadline = clock.NowMicros() + 2000;
  EXPECT_TRUE(clock.WaitUntil(deadline));
  EXPECT_GE(clock.NowMicros(), deadline);
}

TEST(WinPlayClockTest, ASleepNeitherDozesNorSpinsAndAWakeUpEndsIt) {
  WinPlayClock clock;
  for (int i = 0; i < 5; ++i) {
    const int64_t deadline = clock.NowMicros() + 300 * i;
    EXPECT_TRUE(clock.SleepUntil(deadline));
    EXPECT_GE(clock.NowMicros(), deadline);
  }
  EXPECT_TRUE(clock.SleepUntil(clock.NowMicros() + 30000));
  EXPECT_EQ(clock.SpunMicros(), 0);
  EXPECT_EQ(clock.Planner().DozeMargin().Observed(), 0) << "a trial doze";

  std::thread waker([&] {
    ::Sleep(20);
    clock.Wake();
  });
  EXPECT_FALSE(clock.SleepUntil(clock.NowMicros() + int64_t{600} * 1000000));
  waker.join();
}

TEST(WinPlayClockTest, AWakeUpTakenFromTheFlagLeavesNoFalseWakeUpForTheTimer) {
  // A wake-up taken from the flag (at the start of a wait, or by the spin)
  // leaves its event set, and the next wait sleeps on it: that wait must go
  // on to its deadline.
  WinPlayClock clock;
  clock.Wake();
  EXPECT_FALSE(clock.WaitUntil(clock.NowMicros() + 1000));  // taken at once, event left set
  const int64_t deadline = clock.NowMicros() + 30000;
  EXPECT_TRUE(clock.WaitUntil(deadline));
  EXPECT_GE(clock.NowMicros(), deadline);
}

}  // namespace
}  // namespace tesmuro::play
#endif  // _WIN32
