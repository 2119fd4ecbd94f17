// The player's clock: a monotonic 64-bit microsecond count and a wait that
// another thread can cut short.
//
// The playback thread schedules every action on NowMicros() and sleeps with
// WaitUntil(). The thread that controls it (Stop, Pause) changes its flags and
// then calls Wake(), which ends a wait in progress at once, or, if the player is
// not waiting at that moment, makes its next WaitUntil() return at once. The
// player re-reads its flags after every return, so it does not matter whether
// a wake-up is early, late or spurious.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

namespace tesmuro::play {

class IPlayClock {
 public:
  virtual ~IPlayClock() = default;

  // Microseconds on a monotonic clock with an arbitrary origin. Never wraps
  // in practice (2^63 microseconds is about 292,000 years).
  virtual int64_t NowMicros() = 0;

  // Blocks until NowMicros() >= deadline or until Wake(). True when the
  // deadline was reached, false when woken (a pending wake-up is consumed).
  // Called by one thread at a time: the one player that owns the clock.
  virtual bool WaitUntil(int64_t deadlineMicros) = 0;

  // As WaitUntil(), for a pause whose exact end does not matter (an idle
  // pause, say): it may end later, by the resolution of the system's timer,
  // but takes no processor time on the way. Wake() ends it as it ends
  // WaitUntil(). By default the same as WaitUntil().
  virtual bool SleepUntil(int64_t deadlineMicros) { return WaitUntil(deadlineMicros); }

  // Ends the current or next WaitUntil() or SleepUntil() early. Callable from
  // any thread.
  virtual void Wake() = 0;
};

// Portable implementation over std::chrono::steady_clock and a condition
// variable; its precision is whatever the standard library's timed wait
// gives. The platforms have finer ones (play_clock_win.h, play_clock_linux.h).
class SteadyPlayClock final : public IPlayClock {
 public:
  int64_t NowMicros() override;
  bool WaitUntil(int64_t deadlineMicros) override;
  void Wake() override;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool woken_ = false;
};

}  // namespace tesmuro::play
