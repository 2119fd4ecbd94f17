// The low-level mouse and keyboard hooks live on a thread of their own. The
// hook procedures copy each event into a queue and return at once; the user
// interface thread is woken by one posted message and takes the events in
// order (record/hook_handover.h). A busy user interface can therefore never
// stall desktop input.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "os/platform.h"
#include "record/hook_events.h"
#include "record/hook_handover.h"
#include "record/hook_watchdog.h"
#include "record/modifier_tracker.h"
#include "record/raw_motion.h"

namespace tesmuro::win {

namespace detail {
class HookThreadCore;  // record/hook_thread_win.cpp
}

class HookThread : public IHookHost {
 public:
  // Wakes `window` with `message` when events arrive and no wake-up is
  // outstanding.
  HookThread(HWND window, UINT message);
  ~HookThread() override;
  HookThread(const HookThread&) = delete;
  HookThread& operator=(const HookThread&) = delete;

  bool InstallMouseHook() override;
  void UninstallMouseHook() override;
  bool InstallKeyboardHook() override;
  void UninstallKeyboardHook() override;
  // Compares the system's last input time with the keyboard hook's last
  // event (HookWatchdog) and, when the hook seems lost, installs a new one
  // and removes the old. True when the old one had already been removed.
  bool CheckKeyboardHook() override;
  // Raw input from every mouse, taken by a message-only window of the hook
  // thread even when another program has the focus.
  bool InstallRawMotion() override;
  void UninstallRawMotion() override;

  // User interface thread: takes the queued events, oldest first.
  void TakeEvents(std::vector<HookEvent>& out);
  // Events dropped because the queue was full.
  uint64_t DroppedEvents() const;

  // For the benchmarks: when on, each call of either hook procedure records
  // how long it took before it handed the event on (microseconds).
  void MeasureProcedureTimes(bool on);
  std::vector<double> ProcedureTimes();

  // For tests: the watchdog's timing, and the keyboard hook removed the way
  // the system removes it (the handle is kept, as if nothing had happened).
  void SetWatchdogTiming(HookWatchdog::Timing timing);
  // True when a hook was removed.
  bool DropKeyboardHookForTest();
  // For tests: the hook thread sleeps `ms` before it answers the next
  // message, as a thread held up by the system would.
  void StallForTest(DWORD ms);
  void SetRequestTimeoutForTest(DWORD ms);

 private:
  // Everything the hook thread touches. It lives as long as the thread may
  // run: freed when the thread has ended, else left to the process's end.
  detail::HookThreadCore* core_;
};

}  // namespace tesmuro::win
