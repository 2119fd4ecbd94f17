// Notices a low-level keyboard hook that the system removed without notice.
//
// Windows takes a low-level hook away, silently, when its procedure overruns
// the system's time-out (under heavy load, say); from then on the hot keys
// and the emergency stop are dead. Nothing tells the program, and a removed
// hook's handle looks like any other. What can be seen: the system's last
// input time moves on while the hook sees nothing. Mouse input moves it too,
// and the keyboard hook never sees that, so the remedy must be harmless when
// the hook is fine: install a new hook first, then remove the old one. If
// the old one was already gone, the hook had been lost, and the user is told.
#pragma once

#include <cstdint>

#include "record/hook_events.h"

namespace tesmuro {

class HookWatchdog {
 public:
  struct Timing {
    uint32_t checkEveryMs = 2000;  // at most one check in this time
    uint32_t toleranceMs = 1500;   // input this much newer than the hook's last event is suspect
  };

  HookWatchdog() = default;
  explicit HookWatchdog(Timing timing) : timing_(timing) {}

  // The hook was installed (again) at tick `now`: its silence counts from here.
  void Installed(uint32_t now);

  // Tick counts (32-bit, wrapping): `now`, the system's last input and the
  // hook's last event. True when the hook is to be installed again: the last
  // input is more than the tolerance newer than both the hook's last event
  // and its installation. Only one check per checkEveryMs answers at all.
  bool Check(uint32_t now, uint32_t lastInput, uint32_t lastHookEvent);

 private:
  Timing timing_;
  uint32_t installedAt_ = 0;
  uint32_t lastCheck_ = 0;
  bool checked_ = false;
};

// While the hook is installed twice (the new one is in, the old one not yet
// out), one event may reach our procedure twice: the new hook's call passes
// it on down the chain, into the old hook. True when `e`, seen inside the
// passing-on of `passing`, is that same event.
bool SameKeyEvent(const KeyHookEvent& e, const KeyHookEvent& passing);

}  // namespace tesmuro
