// The application object: title, message loop with the idle event, and
// ProcessMessages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

namespace tesmuro::win {

class Application {
 public:
  // Runs until WM_QUIT; returns its exit code. Calls the idle handler each
  // time the queue has run empty, then waits for the next message.
  int Run();
  // Handles every message waiting in the queue and returns.
  void ProcessMessages();
  // A nested loop, as for a modal window: runs like Run() until `done`
  // returns true (checked after every message) or the program terminates.
  void RunUntil(const std::function<bool()>& done);
  // Shows `window` modally: its owner is disabled, `focus` gets the keyboard,
  // and the nested loop runs until `done` returns true. Then the owner is
  // enabled again, the window hidden, and the window that was active before
  // (normally the owner; another modal box when it was opened over one) is
  // activated again.
  void ShowModal(HWND window, HWND focus, const std::function<bool()>& done);
  void SetIdleHandler(std::function<void()> handler) { idle_ = std::move(handler); }
  // Keys of `table` pressed in `window` (or in any of its controls) become
  // its WM_COMMAND messages.
  void SetAccelerators(HWND window, HACCEL table) {
    accelWindow_ = window;
    accelerators_ = table;
  }
  // Given the time, in microseconds, that each message the loops handle
  // took, and each call of the idle handler: what the user waits for. For
  // the benchmarks; none by default.
  void SetTimingHook(std::function<void(int64_t micros)> hook) { timing_ = std::move(hook); }
  bool Terminated() const { return terminated_; }

 private:
  bool Dispatch(MSG& msg);
  bool DispatchTimed(MSG& msg);
  void Idle();
  std::function<void()> idle_;
  HWND accelWindow_ = nullptr;
  HACCEL accelerators_ = nullptr;
  std::function<void(int64_t)> timing_;
  bool terminated_ = false;
  int exitCode_ = 0;
};

}  // namespace tesmuro::win
