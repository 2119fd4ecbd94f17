// How the player's Windows clock spends the time to a deadline, in steps:
//
//   Sleep  on the waitable timer, which a wake-up ends at once. Cheap however
//          long, but it may end a millisecond or more late (under Wine the
//          timer is served in whole milliseconds).
//   Doze   a short sleep that nothing ends early (NtDelayExecution). Where the
//          system serves it finely (Wine: the host's own sleep) it ends within
//          a tenth of a millisecond or so; on Windows it lasts whole periods of
//          the system timer, up to 15.6 ms, and is not worth using.
//   Spin   on the performance counter to the deadline, watching for a wake-up.
//          Exact, but it burns the processor and a busy machine can take the
//          core away from it for a whole time slice.
//
// A wait sleeps until a margin before the deadline, dozes in steps of at most
// kLongestDozeMicros (so a wake-up waits that long at worst) until a smaller
// margin before it, and spins the rest. Both margins are learned from how late
// the steps of this clock end (play/wait_margin.h). Dozing is used while its
// margin is at most half the sleep's: trial dozes decide at first, the dozes
// themselves afterwards (on a machine so busy that dozes wake late, dozing
// stops, and trials begin again). A trial is made at most once per wait, and
// only when the deadline is more than kProbeRoomMicros beyond the sleep's
// margin, so that even a trial that lasts a whole period of the system timer
// leaves the sleep its margin.
//
// Spinning has a budget: on average at most kSpinBudgetPercent of the time,
// with bursts of up to kSpinBurstMicros. A wait that would spin beyond it
// sleeps on the timer to the deadline itself instead, as if it had no margin:
// less precise, but a script of nothing but tiny delays takes a quarter of a
// core rather than a whole one. Recorded scripts, with delays of a few
// milliseconds and more, stay well inside it.
//
// Portable: the Windows clock asks Plan() what to do next, does it, and
// reports with Ended() when a step ran to its end. Single-threaded.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>

#include "play/wait_margin.h"

namespace tesmuro::play {

class WaitPlanner {
 public:
  enum class Step { Sleep, Doze, Spin };
  struct Next {
    Step step;
    int64_t until;  // Sleep, Doze: when it should end; Spin: the deadline
  };

  static constexpr int64_t kShortestSleepMicros = 200;   // below this beyond the margin, no timer
  static constexpr int64_t kShortestDozeMicros = 50;     // below this beyond the margin, no doze
  static constexpr int64_t kLongestDozeMicros = 500;     // a wake-up waits at most this long
  static constexpr int64_t kLongestSleepMicros = int64_t{1000000} * 3600;  // re-armed each hour
  static constexpr int64_t kProbeMicros = 200;           // length of a trial doze
  static constexpr int64_t kProbeRoomMicros = 17000;     // more than the longest timer period
  static constexpr int64_t kSpinBudgetPercent = 25;
  static constexpr int64_t kSpinBurstMicros = 25000;

  static WaitMargin::Settings DefaultDoze() {
    WaitMargin::Settings s;
    s.initialMicros = 300;
    s.floorMicros = 30;
    s.paddingMicros = 50;
    return s;
  }

  // canDoze: the system has the doze at all.
  explicit WaitPlanner(bool canDoze, const WaitMargin::Settings& sleep = {},
                       const WaitMargin::Settings& doze = DefaultDoze())
      : can_doze_(canDoze), sleep_(sleep), doze_(doze) {}

  // The next step of a wait for `deadline`, at `now` < deadline.
  Next Plan(int64_t now, int64_t deadline);

  // A step of the last Plan() ran to its end, or for a spin ended for any
  // reason, at `at` (a sleep cut short by a wake-up is not reported).
  void Ended(const Next& step, int64_t at);

  // Trial dozes have shown that dozing is worth it.
  bool DozeUsable() const;

  const WaitMargin& SleepMargin() const { return sleep_; }
  const WaitMargin& DozeMargin() const { return doze_; }

 private:
  bool can_doze_;
  WaitMargin sleep_;
  WaitMargin doze_;
  int64_t probed_for_ = std::numeric_limits<int64_t>::min();  // deadline of the last trial
  // The spin budget: hundredths of a microsecond of spin allowed now, earned
  // as time passes.
  int64_t allowance_ = kSpinBurstMicros * 100;
  int64_t earned_at_ = std::numeric_limits<int64_t>::min();  // none yet
  int64_t spin_from_ = 0;                                    // start of the planned spin
};

// One wait to `deadline` as the planner lays it out, carried out with a
// clock's own means: `now()` reads the clock; `sleep(now, until)` waits on the
// timer (true when the timer ended it, false when a wake-up did); `doze(now,
// until)` is the short precise sleep; `relax()` is one step of a spin. True
// at the deadline, false when `woken` was set first (the wake-up is taken).
// `spun` grows by the time spent spinning.
template <class Now, class Sleep, class Doze, class Relax>
bool WaitWithPlan(WaitPlanner& planner, std::atomic<bool>& woken, int64_t deadline, int64_t& spun, Now now,
                  Sleep sleep, Doze doze, Relax relax) {
  for (;;) {
    const int64_t t0 = now();
    if (t0 >= deadline) return true;
    if (woken.exchange(false, std::memory_order_acquire)) return false;
    const WaitPlanner::Next next = planner.Plan(t0, deadline);
    switch (next.step) {
      case WaitPlanner::Step::Sleep:
        if (sleep(t0, next.until)) planner.Ended(next, now());
        break;
      case WaitPlanner::Step::Doze:
        doze(t0, next.until);
        planner.Ended(next, now());
        break;
      case WaitPlanner::Step::Spin: {
        int64_t t = t0;
        while (t < deadline && !woken.load(std::memory_order_relaxed)) {
          relax();
          t = now();
        }
        spun += t - t0;
        planner.Ended(next, t);
        break;
      }
    }
  }
}

}  // namespace tesmuro::play
