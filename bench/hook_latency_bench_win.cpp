// Time spent inside the low-level mouse hook procedure per event, while the
// user interface thread is idle and while it is busy for two seconds without
// handling messages. 1,000 injected mouse moves, 2 ms apart, per run. The
// hook runs on its own thread, so the figures must not grow with the UI's work.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "record/hook_thread_win.h"

using namespace tesmuro;

namespace {

constexpr UINT kWake = WM_APP + 1;
constexpr int kEvents = 1000;

void Inject() {
  for (int i = 0; i < kEvents; ++i) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = (i % 2) ? 1 : -1;
    in.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &in, sizeof in);
    Sleep(2);
  }
}

void Report(const char* what, std::vector<double> t, size_t received) {
  std::sort(t.begin(), t.end());
  if (t.empty()) {
    std::printf("%-22s no hook calls measured, events queued %zu\n", what, received);
    return;
  }
  std::printf("%-22s calls %5zu  median %7.1f us  p99 %7.1f us  max %8.1f us  events queued %zu\n", what, t.size(),
              t[t.size() / 2], t[t.size() * 99 / 100], t.back(), received);
}

void Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

}  // namespace

int main() {
  HWND window = CreateWindowExW(0, L"STATIC", L"hook bench", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  win::HookThread hooks(window, kWake);
  if (!hooks.InstallMouseHook()) {
    std::printf("the mouse hook could not be installed\n");
    return 1;
  }
  std::vector<HookEvent> events;
  for (int busy = 0; busy < 2; ++busy) {
    hooks.TakeEvents(events);
    hooks.MeasureProcedureTimes(true);
    std::thread injector(Inject);
    size_t received = 0;
    if (busy) {
      // The UI thread works for two seconds without looking at its queue.
      const DWORD until = GetTickCount() + 2000;
      volatile unsigned spin = 0;
      while (GetTickCount() < until) ++spin;
    }
    injector.join();
    Sleep(50);
    Pump();
    hooks.TakeEvents(events);
    received = events.size();
    const std::vector<double> times = hooks.ProcedureTimes();
    hooks.MeasureProcedureTimes(false);
    Report(busy ? "UI busy for 2 s:" : "UI idle:", times, received);
  }
  hooks.UninstallMouseHook();
  return 0;
}
