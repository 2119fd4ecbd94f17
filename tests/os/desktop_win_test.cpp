// The Windows desktop on the real system (Windows build only), with windows
// of the test's own: what a window is described as, which one is under a
// point, the order front to back, and the colour of a pixel.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <optional>

#include "os/desktop_win.h"

namespace tesmuro::win {
namespace {

constexpr wchar_t kClass[] = L"DesktopTestWindow";
constexpr COLORREF kFill = RGB(0x12, 0x9A, 0xF0);

void Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

// A top-level window of this thread, painted kFill, destroyed at the end.
struct TestWindow {
  TestWindow(const wchar_t* title, int x, int y, bool show = true) {
    static const ATOM atom = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = DefWindowProcW;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.hbrBackground = CreateSolidBrush(kFill);
      wc.lpszClassName = kClass;
      return RegisterClassW(&wc);
    }();
    (void)atom;
    hwnd = CreateWindowExW(0, kClass, title, WS_POPUP, x, y, 200, 120, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
    if (show) {
      ShowWindow(hwnd, SW_SHOWNOACTIVATE);
      SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      UpdateWindow(hwnd);
    }
    Pump();
  }
  ~TestWindow() {
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
  uint64_t id() const { return reinterpret_cast<uintptr_t>(hwnd); }
  HWND hwnd;
};

std::optional<TopWindow> Find(const std::vector<TopWindow>& all, uint64_t id) {
  for (const TopWindow& w : all)
    if (w.id == id) return w;
  return std::nullopt;
}

std::string Lower(std::string s) {
  for (char& c : s) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return s;
}

std::string OwnFileName() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::string name;
  for (DWORD i = n; i > 0 && path[i - 1] != L'\\' && path[i - 1] != L'/'; --i)
    name.insert(name.begin(), static_cast<char>(path[i - 1]));  // the test program's name is ASCII
  return name;
}

TEST(WinDesktopTest, DescribesWindowsInUtf8FrontFirstAndListsOnlyVisibleOrTitledOnes) {
  const auto shared = NewDesktop();
  IDesktop& desktop = *shared;
  EXPECT_EQ(desktop.System(), "win");
  TestWindow back(L"窗口 Back", 40, 60);
  TestWindow front(L"Front", 300, 60);
  TestWindow hiddenTitled(L"隐藏", 0, 0, /*show=*/false);
  TestWindow hiddenBare(L"", 0, 0, /*show=*/false);

  const std::vector<TopWindow> all = desktop.Windows();
  const auto b = Find(all, back.id()), f = Find(all, front.id());
  ASSERT_TRUE(b && f);
  EXPECT_EQ(b->title, "窗口 Back");
  EXPECT_EQ(b->className, "DesktopTestWindow");
  EXPECT_EQ(Lower(b->process), Lower(OwnFileName()));
  EXPECT_EQ(b->rect, (DesktopRect{40, 60, 200, 120}));
  EXPECT_TRUE(b->visible && b->own);
  EXPECT_FALSE(b->minimized);
  auto at = [&](uint64_t id) {
    return std::find_if(all.begin(), all.end(), [&](const TopWindow& w) { return w.id == id; }) - all.begin();
  };
  EXPECT_LT(at(front.id()), at(back.id())) << "the one in front first";

  const auto hidden = Find(all, hiddenTitled.id());
  ASSERT_TRUE(hidden);
  EXPECT_FALSE(hidden->visible);
  EXPECT_FALSE(Find(all, hiddenBare.id())) << "hidden and untitled";

  // Our own window steps aside and comes back without the caller waiting on
  // the window's thread (here the same thread: it gets there only by pumping).
  desktop.StepAside(back.id());
  for (int i = 0; i < 100 && !IsIconic(back.hwnd); ++i) Pump(), Sleep(10);
  EXPECT_TRUE(desktop.Describe(back.id())->minimized);
  desktop.ComeBack(back.id());
  for (int i = 0; i < 100 && IsIconic(back.hwnd); ++i) Pump(), Sleep(10);
  EXPECT_FALSE(desktop.Describe(back.id())->minimized);
  const uint64_t gone = front.id();
  DestroyWindow(front.hwnd);
  EXPECT_FALSE(desktop.Describe(gone));
}

TEST(WinDesktopTest, ThePointBelongsToTheTopLevelWindowAboveItAndItsPixelReadsAsRrggbb) {
  const auto shared = NewDesktop();
  IDesktop& desktop = *shared;
  TestWindow under(L"Under", 100, 100);
  TestWindow over(L"Over", 200, 150);
  // A child control: the point on it belongs to its top-level window.
  CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 10, 10, 50, 30, over.hwnd, nullptr, nullptr, nullptr);
  Pump();
  EXPECT_EQ(desktop.WindowAt(220, 170)->id, over.id());
  EXPECT_EQ(desktop.WindowAt(250, 200)->id, over.id()) << "where both are, the one in front";
  EXPECT_EQ(desktop.WindowAt(120, 120)->id, under.id());

  // The screen shows what was painted a moment later under Wine: look again for a second.
  std::optional<uint32_t> pixel;
  for (int i = 0; i < 50 && pixel != 0x129AF0u; ++i) {
    RedrawWindow(under.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Pump();
    pixel = desktop.PixelAt(150, 120);
    if (pixel != 0x129AF0u) Sleep(20);
  }
  EXPECT_EQ(pixel, 0x129AF0u);
}

}  // namespace
}  // namespace tesmuro::win
#endif
