#include "auxiliary/forms_win.h"

#include "app/win_util_win.h"

namespace tesmuro::win {
namespace {

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kDialogExStyle = WS_EX_DLGMODALFRAME;

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (msg == WM_CLOSE) {
    ShowWindow(hwnd, SW_HIDE);  // the window lives until the program ends
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

HWND CreatePlainForm(const forms::FormSpec& form, HWND owner) {
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  const std::wstring cls = Wide(form.className);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &PlainProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = cls.c_str();
  RegisterClassExW(&wc);
  HWND hwnd = CreateWindowExW(kDialogExStyle, cls.c_str(), Wide(form.caption).c_str(), kDialogStyle, 0, 0, 100, 100,
                              owner, nullptr, inst, nullptr);
  if (!hwnd) return nullptr;
  const RECT r = CentredWindowRect(form.clientWidth, form.clientHeight, kDialogStyle, kDialogExStyle, false,
                                   DpiOf(hwnd));
  SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  return hwnd;
}

HWND CreateMircoForm(HWND owner, HWND* label) {
  HWND hwnd = CreatePlainForm(forms::kMirco, owner);
  if (!hwnd) return nullptr;
  const UINT dpi = DpiOf(hwnd);
  using namespace forms::mirco;
  HWND lbl = CreateWindowExW(0, L"STATIC", Wide(kLblInitial).c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT,
                             Scale(kLblLeft, dpi), Scale(kLblTop, dpi), Scale(kLblWidth, dpi), Scale(kLblHeight, dpi),
                             hwnd, reinterpret_cast<HMENU>(kIdLblInfo), GetModuleHandleW(nullptr), nullptr);
  HFONT font = MakeFont(forms::kDialogFontName, forms::kDialogFontHeight, dpi);
  SendMessageW(lbl, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (label) *label = lbl;
  return hwnd;
}

}  // namespace tesmuro::win
