// The player's clock on Linux: CLOCK_MONOTONIC, with the same plan of waits
// as the Windows clock (play/wait_planner.h): sleep on an absolute timer
// together with a wake-up descriptor, doze with clock_nanosleep on an
// absolute deadline, spin the last stretch.
#pragma once

#include <atomic>
#include <cstdint>

#include "play/play_clock.h"
#include "play/wait_planner.h"

namespace tesmuro::play {

class LinuxPlayClock final : public IPlayClock {
 public:
  LinuxPlayClock();
  ~LinuxPlayClock() override;
  LinuxPlayClock(const LinuxPlayClock&) = delete;
  LinuxPlayClock& operator=(const LinuxPlayClock&) = delete;

  int64_t NowMicros() override;
  bool WaitUntil(int64_t deadlineMicros) override;
  bool SleepUntil(int64_t deadlineMicros) override;
  void Wake() override;

  // Time spent spinning so far, in microseconds (from the waiting thread, or
  // once the waits have ended).
  int64_t SpunMicros() const { return spun_; }
  const WaitPlanner& Planner() const { return planner_; }

 private:
  // Sleeps until `until` or a wake-up. True when it ran to its end.
  bool TimerWait(int64_t until);

  int timer_ = -1;  // timerfd on CLOCK_MONOTONIC
  int wake_ = -1;   // eventfd that Wake() writes
  std::atomic<bool> woken_{false};
  WaitPlanner planner_;
  int64_t spun_ = 0;
};

}  // namespace tesmuro::play
