#include "ui/application_win.h"

#include <exception>

#include "ui/win_util_win.h"

namespace tesmuro::win {
namespace {

// The performance counter in microseconds, divided in two steps so the
// product cannot overflow however long the system has been up.
int64_t Micros() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart > 0 ? f.QuadPart : 1;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart / frequency * 1000000 + c.QuadPart % frequency * 1000000 / frequency;
}

}  // namespace

bool Application::Dispatch(MSG& msg) {
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    exitCode_ = static_cast<int>(msg.wParam);
    return false;
  }
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  if (accelerators_ && top == accelWindow_ && TranslateAcceleratorW(accelWindow_, accelerators_, &msg)) return true;
  if (top && IsDialogMessageW(top, &msg)) return true;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
  return true;
}

bool Application::DispatchTimed(MSG& msg) {
  if (!timing_) return Dispatch(msg);
  const int64_t start = Micros();
  const bool goOn = Dispatch(msg);
  timing_(Micros() - start);
  return goOn;
}

void Application::Idle() {
  if (!idle_) return;
  const int64_t start = timing_ ? Micros() : 0;
  try {
    idle_();
  } catch (const std::exception& e) {
    ShowErrorBox(nullptr, e.what());
  }
  if (timing_) timing_(Micros() - start);
}

void Application::ProcessMessages() {
  MSG msg;
  while (!terminated_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!DispatchTimed(msg)) {
      PostQuitMessage(exitCode_);  // let the main loop see it too
      break;
    }
  }
}

void Application::ShowModal(HWND window, HWND focus, const std::function<bool()>& done) {
  HWND owner = GetWindow(window, GW_OWNER);
  HWND previous = GetActiveWindow();
  const bool ownerEnabled = owner && IsWindowEnabled(owner);
  if (ownerEnabled) EnableWindow(owner, FALSE);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  if (focus) SetFocus(focus);

  RunUntil([&] { return done() || !IsWindow(window); });

  // The owner comes back before this window goes, so the activation returns to it.
  if (ownerEnabled && IsWindow(owner)) EnableWindow(owner, TRUE);
  if (IsWindow(window)) ShowWindow(window, SW_HIDE);
  if (!previous || previous == window || !IsWindow(previous) || !IsWindowVisible(previous)) previous = owner;
  if (previous && IsWindow(previous) && IsWindowVisible(previous)) SetActiveWindow(previous);
}

int Application::Run() {
  RunUntil([] { return false; });
  return exitCode_;
}

void Application::RunUntil(const std::function<bool()>& done) {
  MSG msg;
  while (!terminated_ && !done()) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!DispatchTimed(msg)) break;
      continue;
    }
    Idle();
    if (done()) break;
    WaitMessage();
  }
  if (terminated_) PostQuitMessage(exitCode_);  // an outer loop ends too
}

}  // namespace tesmuro::win
