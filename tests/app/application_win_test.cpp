// The application's message loop and its timing hook (Windows build only).
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <vector>

#include "ui/application_win.h"

namespace tesmuro::win {
namespace {

constexpr UINT kSlowMsg = WM_APP + 1;

LRESULT CALLBACK SlowProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == kSlowMsg) {
    Sleep(static_cast<DWORD>(w));
    return 0;
  }
  return DefWindowProcW(h, msg, w, l);
}

TEST(ApplicationTiming, EveryMessageAndIdleCallIsTimedOnce) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = SlowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ApplicationTimingTest";
  RegisterClassW(&wc);
  HWND h = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(h, nullptr);
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);

  Application app;
  std::vector<int64_t> times;
  app.SetTimingHook([&](int64_t us) { times.push_back(us); });
  int idleCalls = 0;
  app.SetIdleHandler([&] {
    ++idleCalls;
    Sleep(40);
  });
  PostMessageW(h, kSlowMsg, 60, 0);
  PostMessageW(h, kSlowMsg, 0, 0);
  app.RunUntil([&] { return idleCalls > 0; });

  // Each message on its own (the slow one's time not spread over the
  // other), then the idle call that ended the loop.
  ASSERT_GE(times.size(), 3u);
  EXPECT_GE(times[times.size() - 3], 55000);
  EXPECT_LT(times[times.size() - 2], times[times.size() - 3] - 30000);
  EXPECT_GE(times.back(), 35000);

  // ProcessMessages times what it handles too; without a hook nothing is told.
  times.clear();
  PostMessageW(h, kSlowMsg, 20, 0);
  app.ProcessMessages();
  ASSERT_FALSE(times.empty());
  EXPECT_GE(times.back(), 15000);
  app.SetTimingHook(nullptr);
  times.clear();
  PostMessageW(h, kSlowMsg, 0, 0);
  app.ProcessMessages();
  EXPECT_TRUE(times.empty());
  DestroyWindow(h);
}

}  // namespace
}  // namespace tesmuro::win
#endif
