// The Windows clock's learned margins and its plan of sleep, doze and spin,
// on made-up times: which step comes when, and what the lateness of past
// steps does to the next ones.
#include "play/wait_planner.h"

#include <gtest/gtest.h>

#include <limits>

namespace tesmuro::play {
namespace {

using Step = WaitPlanner::Step;

WaitMargin::Settings Margins(int64_t initial, int64_t floor, int64_t ceiling, int percentile, int64_t padding) {
  WaitMargin::Settings s;
  s.initialMicros = initial;
  s.floorMicros = floor;
  s.ceilingMicros = ceiling;
  s.percentile = percentile;
  s.paddingMicros = padding;
  return s;
}

TEST(WaitMarginTest, KeepsTheInitialMarginUntilWarmedUpThenFollowsThePercentile) {
  WaitMargin m(Margins(1500, 50, 2500, 98, 100));
  EXPECT_EQ(m.Micros(), 1500);
  for (int i = 1; i < WaitMargin::kWarmUp; ++i) m.Observe(200);
  EXPECT_EQ(m.Micros(), 1500) << "fewer sleeps than the warm-up";
  m.Observe(200);
  EXPECT_EQ(m.Micros(), 300);

  // 100 sleeps late by 10, 20, ..., 1000 us: the 98th percentile is the 98th
  // smallest, 980 us.
  WaitMargin p(Margins(0, 0, 5000, 98, 100));
  for (int i = 100; i >= 1; --i) p.Observe(i * 10);
  EXPECT_EQ(p.Micros(), 1080);
  EXPECT_EQ(p.Observed(), 100);

  // A warm-up above the initial margin is taken as it is.
  WaitMargin w(Margins(100, 0, 5000, 50, 0));
  w.Observe(700);
  EXPECT_EQ(w.Micros(), 700);
}

TEST(WaitMarginTest, ForgetsSleepsOlderThanTheWindow) {
  WaitMargin m(Margins(0, 0, 5000, 100, 50));
  m.Observe(3000);  // one stall
  for (int i = 0; i < WaitMargin::kWindow - 1; ++i) m.Observe(100);
  EXPECT_EQ(m.Micros(), 3050) << "the stall is still in the window";
  m.Observe(100);
  EXPECT_EQ(m.Micros(), 150);
  EXPECT_EQ(m.Observed(), WaitMargin::kWindow + 1);
}

TEST(WaitMarginTest, StaysBetweenFloorAndCeilingWhateverTheSleepsDo) {
  WaitMargin m(Margins(500, 50, 2500, 98, 100));
  for (int i = 0; i < 20; ++i) m.Observe(-5000);  // ended early: on time
  EXPECT_EQ(m.Micros(), 100);
  for (int i = 0; i < 20; ++i) m.Observe(std::numeric_limits<int64_t>::min());
  EXPECT_EQ(m.Micros(), 100);

  WaitMargin f(Margins(500, 50, 2500, 98, 0));
  for (int i = 0; i < 20; ++i) f.Observe(0);
  EXPECT_EQ(f.Micros(), 50) << "the floor";
  for (int i = 0; i < WaitMargin::kWindow; ++i) f.Observe(std::numeric_limits<int64_t>::max());
  EXPECT_EQ(f.Micros(), 2500) << "the ceiling, without overflow";
}

TEST(WaitMarginTest, BringsSettingsIntoRange) {
  WaitMargin upsideDown(Margins(9000, 400, 100, 0, -7));
  EXPECT_EQ(upsideDown.Limits().ceilingMicros, 400);
  EXPECT_EQ(upsideDown.Limits().initialMicros, 400);
  EXPECT_EQ(upsideDown.Limits().percentile, 1);
  EXPECT_EQ(upsideDown.Limits().paddingMicros, 0);
  EXPECT_EQ(upsideDown.Micros(), 400);

  WaitMargin negative(Margins(-1, -10, -5, 1000, 0));
  EXPECT_EQ(negative.Limits().floorMicros, 0);
  EXPECT_EQ(negative.Limits().ceilingMicros, 0);
  EXPECT_EQ(negative.Limits().percentile, 100);
  for (int i = 0; i < 10; ++i) negative.Observe(800);
  EXPECT_EQ(negative.Micros(), 0);
}

// Sleep margin 1000 us from the start (floor = ceiling), doze margin learned.
WaitPlanner Planner(bool canDoze) {
  return WaitPlanner(canDoze, Margins(1000, 1000, 1000, 98, 0), Margins(300, 30, 2500, 98, 50));
}

constexpr int64_t kT = int64_t{7000000} * 1000000;  // far beyond 32 bits

// Makes the planner's trial dozes end `late` us after their end, one wait of
// 50 ms per trial, until dozing is decided on by the warm-up.
void Trials(WaitPlanner& p, int64_t& now, int64_t late) {
  for (int i = 0; i < WaitMargin::kWarmUp; ++i) {
    const int64_t deadline = now + 50000;
    const WaitPlanner::Next trial = p.Plan(now, deadline);
    ASSERT_EQ(trial.step, Step::Doze);
    ASSERT_EQ(trial.until, now + WaitPlanner::kProbeMicros);
    now = trial.until + late;
    p.Ended(trial, now);
    now = deadline;
  }
}

TEST(WaitPlannerTest, WithoutDozeSleepsToTheMarginThenSpins) {
  WaitPlanner p = Planner(false);
  WaitPlanner::Next n = p.Plan(kT, kT + 50000);
  EXPECT_EQ(n.step, Step::Sleep);
  EXPECT_EQ(n.until, kT + 49000);
  // The timer ended 100 us early: the rest is too short to arm it again.
  n = p.Plan(kT + 48900, kT + 50000);
  EXPECT_EQ(n.step, Step::Spin);
  EXPECT_EQ(n.until, kT + 50000);
  // Just beyond margin + the shortest sleep, the timer is armed.
  EXPECT_EQ(p.Plan(kT, kT + 1000 + WaitPlanner::kShortestSleepMicros + 1).step, Step::Sleep);
  EXPECT_EQ(p.Plan(kT, kT + 1000 + WaitPlanner::kShortestSleepMicros).step, Step::Spin);
  // A far deadline: re-armed each hour.
  n = p.Plan(kT, std::numeric_limits<int64_t>::max());
  EXPECT_EQ(n.step, Step::Sleep);
  EXPECT_EQ(n.until, kT + WaitPlanner::kLongestSleepMicros);
  EXPECT_FALSE(p.DozeUsable());
}

TEST(WaitPlannerTest, SleepsThatEndLateMakeTheNextSleepEndEarlier) {
  WaitPlanner p(false, Margins(200, 50, 2500, 90, 100));
  for (int i = 0; i < 20; ++i) {
    const WaitPlanner::Next n = p.Plan(kT, kT + 20000);
    ASSERT_EQ(n.step, Step::Sleep);
    p.Ended(n, n.until + 1500);
  }
  EXPECT_EQ(p.SleepMargin().Micros(), 1600);
  EXPECT_EQ(p.Plan(kT, kT + 20000).until, kT + 18400);
  // A spin's end teaches nothing.
  p.Ended({Step::Spin, kT}, kT + 9000);
  EXPECT_EQ(p.SleepMargin().Observed(), 20);
}

TEST(WaitPlannerTest, TriesTheDozeOncePerWaitAndOnlyWithRoomToSpare) {
  WaitPlanner p = Planner(true);
  // Room: 1000 us of margin + more than kProbeRoomMicros.
  const int64_t deadline = kT + 1000 + WaitPlanner::kProbeRoomMicros + 1;
  WaitPlanner::Next n = p.Plan(kT, deadline);
  EXPECT_EQ(n.step, Step::Doze);
  EXPECT_EQ(n.until, kT + WaitPlanner::kProbeMicros);
  p.Ended(n, n.until + 40);
  EXPECT_EQ(p.DozeMargin().Observed(), 1);
  // The same wait goes on with the timer.
  n = p.Plan(kT + 240, deadline);
  EXPECT_EQ(n.step, Step::Sleep);
  EXPECT_EQ(n.until, deadline - 1000);
  // Not enough room: no trial.
  EXPECT_EQ(p.Plan(kT, kT + 1000 + WaitPlanner::kProbeRoomMicros).step, Step::Sleep);
  // A system without the doze never tries it.
  WaitPlanner none = Planner(false);
  EXPECT_EQ(none.Plan(kT, deadline).step, Step::Sleep);
}

TEST(WaitPlannerTest, PreciseTrialsTurnDozingOnNearTheDeadline) {
  WaitPlanner p = Planner(true);
  int64_t now = kT;
  Trials(p, now, 40);
  ASSERT_TRUE(p.DozeUsable());
  EXPECT_EQ(p.DozeMargin().Micros(), 90);  // 40 + 50 of padding

  const int64_t deadline = now + 5000;
  WaitPlanner::Next n = p.Plan(now, deadline);
  EXPECT_EQ(n.step, Step::Sleep) << "dozing on, no more trials";
  EXPECT_EQ(n.until, deadline - 1000);
  // The timer woke 1000 us before the deadline: dozes of at most
  // kLongestDozeMicros to 90 us before it, then the spin.
  n = p.Plan(deadline - 1000, deadline);
  EXPECT_EQ(n.step, Step::Doze);
  EXPECT_EQ(n.until, deadline - 1000 + WaitPlanner::kLongestDozeMicros);
  p.Ended(n, n.until + 40);
  n = p.Plan(deadline - 460, deadline);
  EXPECT_EQ(n.step, Step::Doze);
  EXPECT_EQ(n.until, deadline - 90);
  p.Ended(n, n.until + 40);
  n = p.Plan(deadline - 50, deadline);
  EXPECT_EQ(n.step, Step::Spin);
  EXPECT_EQ(n.until, deadline);
  // Just above the doze margin + the shortest doze it still dozes.
  EXPECT_EQ(p.Plan(deadline - 90 - WaitPlanner::kShortestDozeMicros - 1, deadline).step, Step::Doze);
  EXPECT_EQ(p.Plan(deadline - 90 - WaitPlanner::kShortestDozeMicros, deadline).step, Step::Spin);
}

TEST(WaitPlannerTest, CoarseTrialsKeepDozingOffAndTrialsGoOn) {
  // As on Windows, where a doze lasts a period of the system timer.
  WaitPlanner p = Planner(true);
  int64_t now = kT;
  Trials(p, now, 15600);
  EXPECT_FALSE(p.DozeUsable());
  EXPECT_EQ(p.DozeMargin().Micros(), 2500);
  // Near a deadline: straight to the spin.
  EXPECT_EQ(p.Plan(now, now + 1000).step, Step::Spin);
  // The next long wait tries again.
  EXPECT_EQ(p.Plan(now, now + 50000).step, Step::Doze);
}

TEST(WaitPlannerTest, DozingStopsWhenItsMarginGrowsBeyondHalfTheSleeps) {
  WaitPlanner p = Planner(true);
  int64_t now = kT;
  Trials(p, now, 40);
  ASSERT_TRUE(p.DozeUsable());
  // Dozes start to end 600 us late (a loaded machine): 650 us of margin is
  // more than half of the sleep's 1000.
  for (int i = 0; i < 3 && p.DozeUsable(); ++i) {
    const WaitPlanner::Next n = p.Plan(now + 4000, now + 5000);
    ASSERT_EQ(n.step, Step::Doze);
    p.Ended(n, n.until + 600);
  }
  EXPECT_FALSE(p.DozeUsable());
  EXPECT_EQ(p.Plan(now + 4000, now + 5000).step, Step::Spin);
}

// Waits of `length` us, one after the other from `now`, each sleep ending on
// time; returns the time spent spinning and counts the waits that spun.
int64_t Waits(WaitPlanner& p, int64_t& now, int count, int64_t length, int* spins = nullptr) {
  int64_t spun = 0;
  for (int i = 0; i < count; ++i) {
    const int64_t deadline = now + length;
    bool spin = false;
    while (now < deadline) {
      const WaitPlanner::Next n = p.Plan(now, deadline);
      EXPECT_GT(n.until, now);
      if (n.step == Step::Spin) {
        spun += deadline - now;
        spin = true;
      }
      now = n.until;
      p.Ended(n, now);
    }
    if (spin && spins) ++*spins;
  }
  return spun;
}

TEST(WaitPlannerTest, ASpinBudgetKeepsEndlessTinyWaitsFromKeepingACoreBusy) {
  // An endless loop of 1 ms pauses, all within the sleep margin: without the
  // budget every one of them would be spun.
  WaitPlanner p = Planner(false);
  int64_t now = kT;
  int spins = 0;
  const int64_t spun = Waits(p, now, 4000, 1000, &spins);
  EXPECT_LE(spun, 4000 * 1000 * WaitPlanner::kSpinBudgetPercent / 100 + WaitPlanner::kSpinBurstMicros);
  EXPECT_GT(spins, 0) << "within the budget it still spins";
  // Over the budget, the wait sleeps to its deadline itself.
  const WaitPlanner::Next n = p.Plan(now, now + 1000);
  if (n.step != Step::Spin) {
    EXPECT_EQ(n.step, Step::Sleep);
    EXPECT_EQ(n.until, now + 1000);
  }
}

TEST(WaitPlannerTest, DenseRecordedDelaysStayInsideTheSpinBudget) {
  // 10 ms delays, each spinning its last millisecond: every one spins.
  WaitPlanner p = Planner(false);
  int64_t now = kT;
  int spins = 0;
  const int64_t spun = Waits(p, now, 3000, 10000, &spins);
  EXPECT_EQ(spins, 3000);
  EXPECT_EQ(spun, 3000 * 1000);
}

TEST(WaitPlannerTest, ASpinHeldUpForHoursDoesNotStopTheSpinAfterwards) {
  // The machine was suspended in the middle of a spin: those hours were no
  // processor time, and the waits after them must still spin.
  WaitPlanner p = Planner(false);
  int64_t now = kT;
  WaitPlanner::Next n = p.Plan(now, now + 800);
  ASSERT_EQ(n.step, Step::Spin);
  now += int64_t{3} * 3600 * 1000000;
  p.Ended(n, now);
  EXPECT_EQ(p.Plan(now, now + 1000).step, Step::Spin);
  int spins = 0;
  Waits(p, now, 10, 10000, &spins);
  EXPECT_EQ(spins, 10);
}

}  // namespace
}  // namespace tesmuro::play
