// The low-level mouse and keyboard hooks live on a thread of their own. The
// hook procedures copy each event into a queue and return at once; the user
// interface thread is woken by one posted message and takes the events in
// order. A busy user interface can therefore never stall desktop input.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "app/platform.h"
#include "record/hook_events.h"

namespace tesmuro::win {

class HookThread : public IHookHost {
 public:
  // Wakes `window` with `message` when events arrive in an empty queue.
  HookThread(HWND window, UINT message);
  ~HookThread() override;
  HookThread(const HookThread&) = delete;
  HookThread& operator=(const HookThread&) = delete;

  bool InstallMouseHook() override;
  void UninstallMouseHook() override;
  bool InstallKeyboardHook() override;
  void UninstallKeyboardHook() override;

  // User interface thread: takes the queued events, oldest first.
  void TakeEvents(std::vector<HookEvent>& out);

  // For the benchmark: when on, each hook call records how long the
  // procedure took before it handed the event on (microseconds).
  void MeasureProcedureTimes(bool on);
  std::vector<double> ProcedureTimes();

 private:
  static DWORD WINAPI ThreadMain(LPVOID self) noexcept;
  static LRESULT CALLBACK MouseProc(int code, WPARAM wParam, LPARAM lParam) noexcept;
  static LRESULT CALLBACK KeyProc(int code, WPARAM wParam, LPARAM lParam) noexcept;
  bool Request(UINT what);
  void Push(const HookEvent& e) noexcept;

  HWND window_;
  UINT message_;
  HANDLE thread_ = nullptr;
  DWORD threadId_ = 0;
  HANDLE ready_ = nullptr;
  HANDLE done_ = nullptr;
  bool result_ = false;
  HHOOK mouse_ = nullptr;
  HHOOK key_ = nullptr;
  std::mutex mutex_;
  std::vector<HookEvent> queue_;
  std::atomic<bool> measure_{false};
  std::vector<double> times_;  // guarded by mutex_
};

}  // namespace tesmuro::win
