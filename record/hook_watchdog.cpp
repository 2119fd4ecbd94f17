#include "record/hook_watchdog.h"

namespace tesmuro {
namespace {

// b - a in a wrapping tick counter, as a signed span.
int32_t Since(uint32_t a, uint32_t b) { return static_cast<int32_t>(b - a); }

}  // namespace

void HookWatchdog::Installed(uint32_t now) {
  installedAt_ = now;
  lastCheck_ = now;
  checked_ = true;
}

bool HookWatchdog::Check(uint32_t now, uint32_t lastInput, uint32_t lastHookEvent) {
  if (checked_ && Since(lastCheck_, now) >= 0 && Since(lastCheck_, now) < static_cast<int32_t>(timing_.checkEveryMs))
    return false;
  lastCheck_ = now;
  checked_ = true;
  // The later of the hook's last event and its installation.
  const uint32_t seen = Since(installedAt_, lastHookEvent) > 0 ? lastHookEvent : installedAt_;
  return Since(seen, lastInput) > static_cast<int32_t>(timing_.toleranceMs);
}

bool SameKeyEvent(const KeyHookEvent& e, const KeyHookEvent& passing) {
  return e.code == passing.code && e.message == passing.message && e.vk == passing.vk &&
         e.scanCode == passing.scanCode && e.flags == passing.flags && e.time == passing.time &&
         e.extraInfo == passing.extraInfo;
}

}  // namespace tesmuro
