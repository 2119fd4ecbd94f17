// The Windows player clock (see play/play_clock.h), for callers that want to
// know which kind of timer it got.
#pragma once

#include "play/play_clock.h"

namespace tesmuro::play {

class WinPlayClock final : public IPlayClock {
 public:
  WinPlayClock();
  ~WinPlayClock() override;
  WinPlayClock(const WinPlayClock&) = delete;
  WinPlayClock& operator=(const WinPlayClock&) = delete;

  int64_t NowMicros() override;
  bool WaitUntil(int64_t deadlineMicros) override;
  void Wake() override;

  // True when the system gave a high-resolution waitable timer; otherwise the
  // clock uses a normal one and holds the system timer at 1 ms.
  bool HighResolutionTimer() const { return high_resolution_; }

 private:
  int64_t frequency_ = 1;
  void* timer_ = nullptr;  // HANDLE of the waitable timer
  void* wake_ = nullptr;   // HANDLE of the auto-reset wake-up event
  bool high_resolution_ = false;
  bool raised_period_ = false;
};

}  // namespace tesmuro::play
