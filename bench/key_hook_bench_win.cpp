// The keyboard side of the hook thread: time spent inside the low-level
// keyboard hook procedure per key event (copy, modifier record, queue), with
// the program's Ctrl held by injected input half of the time; and the time a
// watchdog reinstall takes (new hook in, old hook out) on the interface
// thread, for a hook that was fine and for one the system had dropped.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "record/hook_thread_win.h"

using namespace tesmuro;

namespace {

constexpr UINT kWake = WM_APP + 1;
constexpr int kKeys = 1000;
constexpr int kReinstalls = 200;

void Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &in, sizeof in);
}

void MoveMouse() {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = 1;
  in.mi.dwFlags = MOUSEEVENTF_MOVE;
  SendInput(1, &in, sizeof in);
}

double Micros() {
  static LARGE_INTEGER f = [] {
    LARGE_INTEGER x;
    QueryPerformanceFrequency(&x);
    return x;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) * 1e6 / static_cast<double>(f.QuadPart);
}

void Report(const char* what, std::vector<double> t) {
  std::sort(t.begin(), t.end());
  if (t.empty()) {
    std::printf("%-34s nothing measured\n", what);
    return;
  }
  std::printf("%-34s n %5zu  median %7.1f us  p99 %7.1f us  max %8.1f us\n", what, t.size(), t[t.size() / 2],
              t[t.size() * 99 / 100], t.back());
}

void NextTick() {
  const DWORD t = GetTickCount();
  while (GetTickCount() == t) Sleep(1);
}

}  // namespace

int main() {
  HWND window = CreateWindowExW(0, L"STATIC", L"key hook bench", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  win::HookThread hooks(window, kWake);
  if (!hooks.InstallKeyboardHook()) {
    std::printf("the keyboard hook could not be installed\n");
    return 1;
  }
  std::vector<HookEvent> events;
  hooks.MeasureProcedureTimes(true);
  for (int i = 0; i < kKeys / 4; ++i) {
    if (i % 2) Key(VK_LCONTROL, false);
    Key(VK_F24, false);
    Key(VK_F24, true);
    if (i % 2) Key(VK_LCONTROL, true);
  }
  Sleep(100);
  hooks.TakeEvents(events);
  Report("keyboard hook procedure:", hooks.ProcedureTimes());
  std::printf("%-34s %zu of %d key events\n", "handed over:", events.size(), kKeys / 4 * 3);
  hooks.MeasureProcedureTimes(false);

  hooks.SetWatchdogTiming({0, 0});
  std::vector<double> fine, dropped;
  for (int i = 0; i < kReinstalls; ++i) {
    const bool drop = i % 2;
    if (drop) hooks.DropKeyboardHookForTest();
    NextTick();
    MoveMouse();
    const double t0 = Micros();
    const bool reported = hooks.CheckKeyboardHook();
    (drop ? dropped : fine).push_back(Micros() - t0);
    if (reported != drop) std::printf("reinstall %d: reported %d for a hook that was %s\n", i, reported, drop ? "dropped" : "fine");
  }
  Report("reinstall, hook was fine:", fine);
  Report("reinstall, hook had been dropped:", dropped);
  hooks.UninstallKeyboardHook();
  return 0;
}
