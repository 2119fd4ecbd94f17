#include "auxiliary/forms_win.h"

#include "ui/glyphs_win.h"
#include "ui/win_util_win.h"

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
  RegisterFormClass(cls.c_str(), &PlainProc);
  HWND hwnd = CreateWindowExW(kDialogExStyle, cls.c_str(), Wide(form.caption).c_str(), kDialogStyle, 0, 0, 100, 100,
                              owner, nullptr, inst, nullptr);
  if (!hwnd) return nullptr;
  const RECT r = CentredWindowRect(form.clientWidth, form.clientHeight, kDialogStyle, kDialogExStyle, false,
                                   DpiOf(hwnd));
  SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  return hwnd;
}

namespace {

LRESULT CALLBACK MircoProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  auto* form = reinterpret_cast<MircoForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (form) {
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && form->onCommand) {
      form->onCommand(LOWORD(wParam));
      return 0;
    }
    if (msg == WM_CLOSE) {
      ShowWindow(hwnd, SW_HIDE);
      if (form->onClose) form->onClose();
      return 0;
    }
  }
  return PlainProc(hwnd, msg, wParam, lParam);
}

}  // namespace

bool CreateMircoForm(HWND owner, MircoForm& form) {
  HWND hwnd = CreatePlainForm(forms::kMirco, owner);
  if (!hwnd) return false;
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
  SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MircoProc));
  const UINT dpi = DpiOf(hwnd);
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  using namespace forms::mirco;
  HFONT font = MakeFont(forms::kDialogFontName, forms::kDialogFontHeight, dpi);
  for (const auto& b : kButtons) {
    HWND btn = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | BS_BITMAP,
                               Scale(b.x, dpi), Scale(kButtonTop, dpi), Scale(kButtonWidth, dpi),
                               Scale(kButtonHeight, dpi), hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.id)),
                               inst, nullptr);
    SendMessageW(btn, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(DrawGlyph(b.glyph, Scale(16, dpi))));
  }
  HWND lbl = CreateWindowExW(0, L"STATIC", Wide(kLblInitial).c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT,
                             Scale(kLblLeft, dpi), Scale(kLblTop, dpi), Scale(kLblWidth, dpi), Scale(kLblHeight, dpi),
                             hwnd, reinterpret_cast<HMENU>(kIdLblInfo), inst, nullptr);
  SendMessageW(lbl, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  form.window = hwnd;
  form.label = lbl;
  return true;
}

}  // namespace tesmuro::win
