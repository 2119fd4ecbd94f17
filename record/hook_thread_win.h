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
  uint64_t DroppedEvents() const { return queue_.Dropped(); }

  // For the benchmarks: when on, each call of either hook procedure records
  // how long it took before it handed the event on (microseconds).
  void MeasureProcedureTimes(bool on);
  std::vector<double> ProcedureTimes();

  // For tests: the watchdog's timing, and the keyboard hook removed the way
  // the system removes it (the handle is kept, as if nothing had happened).
  void SetWatchdogTiming(HookWatchdog::Timing timing) { watchdog_ = HookWatchdog(timing); }
  // True when a hook was removed.
  bool DropKeyboardHookForTest();
  // For tests: the hook thread sleeps `ms` before it answers the next
  // message, as a thread held up by the system would.
  void StallForTest(DWORD ms);
  void SetRequestTimeoutForTest(DWORD ms) { requestTimeoutMs_ = ms; }

 private:
  static DWORD WINAPI ThreadMain(LPVOID self) noexcept;
  static LRESULT CALLBACK MouseProc(int code, WPARAM wParam, LPARAM lParam) noexcept;
  static LRESULT CALLBACK KeyProc(int code, WPARAM wParam, LPARAM lParam) noexcept;
  static LRESULT CALLBACK RawWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  // Hook thread: one WM_INPUT.
  void OnRawInput(HRAWINPUT input) noexcept;
  // Sends a request to the hook thread and waits for its answer (false when
  // none comes in time).
  bool Request(UINT what);
  void Push(const HookEvent& e) noexcept;
  // Hook thread: the answer to one request.
  bool Serve(UINT what, WPARAM arg);

  HWND window_;
  UINT message_;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  HANDLE ready_ = nullptr;
  DWORD requestTimeoutMs_ = 5000;
  HookRequests requests_;
  HookEventQueue queue_;
  // Hook thread only.
  HHOOK mouse_ = nullptr;
  HHOOK key_ = nullptr;
  HWND raw_ = nullptr;            // the raw input's window, while registered
  RawMotionTracker rawMotion_;
  ModifierTracker modifiers_;
  const KeyHookEvent* passing_ = nullptr;  // the key event being passed down the hook chain
  // Written by the hook thread, read by the interface thread's watchdog.
  std::atomic<uint32_t> lastKeyEventTick_{0};
  HookWatchdog watchdog_;  // interface thread
  std::atomic<bool> measure_{false};
  std::mutex timesMutex_;
  std::vector<double> times_;  // guarded by timesMutex_
};

}  // namespace tesmuro::win
