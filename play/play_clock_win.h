// The Windows player clock (see play/play_clock.h), for callers that want to
// know which kind of timer it got or how it waits.
//
// A wait sleeps on a waitable timer until shortly before the deadline, then,
// where the system's fine sleep has proved precise (under Wine), dozes in short
// steps, and spins on the performance counter through the last stretch: it
// ends within microseconds of the deadline although the timer itself may end
// a millisecond or more late, and a long delay costs one short spin (see
// play/wait_planner.h for the steps and how their margins are learned).
// Wake() sets a flag that the spin watches and rings an event that ends the
// sleep: a wait ends at once, or within half a millisecond while it dozes.
#pragma once

#include <atomic>

#include "play/play_clock.h"
#include "play/wait_planner.h"

namespace tesmuro::play {

class WinPlayClock final : public IPlayClock {
 public:
  WinPlayClock() : WinPlayClock(WaitMargin::Settings{}, WaitPlanner::DefaultDoze(), true) {}
  // With other limits for the margins; `mayDoze` false never dozes.
  WinPlayClock(const WaitMargin::Settings& sleep, const WaitMargin::Settings& doze, bool mayDoze);
  ~WinPlayClock() override;
  WinPlayClock(const WinPlayClock&) = delete;
  WinPlayClock& operator=(const WinPlayClock&) = delete;

  int64_t NowMicros() override;
  bool WaitUntil(int64_t deadlineMicros) override;
  // On the timer alone: neither dozes nor spins.
  bool SleepUntil(int64_t deadlineMicros) override;
  void Wake() override;

  // True when the system gave a high-resolution waitable timer; otherwise the
  // clock uses a normal one and holds the system timer at 1 ms.
  bool HighResolutionTimer() const { return high_resolution_; }

  // How the waits have gone so far. Only while no wait is in progress (from
  // the waiting thread, or once it has ended).
  const WaitPlanner& Planner() const { return planner_; }
  // Time spent spinning so far, in microseconds (same condition).
  int64_t SpunMicros() const { return spun_; }

 private:
  // Sleeps on the timer from `now` until `until` or a ring of the event,
  // whichever comes first. True when it ran to its end.
  bool TimerWait(int64_t now, int64_t until);

  int64_t frequency_ = 1;
  void* timer_ = nullptr;  // HANDLE of the waitable timer
  void* wake_ = nullptr;   // HANDLE of the auto-reset event that Wake() rings
  bool high_resolution_ = false;
  bool raised_period_ = false;
  void* delay_ = nullptr;   // NtDelayExecution, for the doze
  std::atomic<bool> woken_{false};  // a wake-up not yet taken by a wait
  WaitPlanner planner_;
  int64_t spun_ = 0;
};

}  // namespace tesmuro::play
