#include "play/play_clock.h"

#include <chrono>

namespace tesmuro::play {

namespace {
using Steady = std::chrono::steady_clock;

int64_t ToMicros(Steady::time_point t) {
  return std::chrono::duration_cast<std::chrono::microseconds>(t.time_since_epoch()).count();
}
}  // namespace

int64_t SteadyPlayClock::NowMicros() { return ToMicros(Steady::now()); }

bool SteadyPlayClock::WaitUntil(int64_t deadlineMicros) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (woken_) {
      woken_ = false;
      return false;
    }
    const int64_t now = NowMicros();
    if (now >= deadlineMicros) return true;
    // A relative wait, capped so that a far deadline cannot overflow the
    // library's time arithmetic; the loop goes on waiting after a cap.
    constexpr int64_t kMaxStep = int64_t{1000} * 1000 * 3600;  // one hour
    const int64_t step = deadlineMicros - now < kMaxStep ? deadlineMicros - now : kMaxStep;
    cv_.wait_for(lock, std::chrono::microseconds(step));
  }
}

void SteadyPlayClock::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
  }
  cv_.notify_all();
}

}  // namespace tesmuro::play
