#include "auxiliary/forms_win.h"

#include "ui/glyphs_win.h"
#include "ui/win_util_win.h"
#include "ui/window_proc_win.h"

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

// A hidden window of the form's class with `proc`, given `object` to serve it.
HWND CreateForm(const forms::FormSpec& form, HWND owner, WNDPROC proc, void* object) {
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  const std::wstring cls = Wide(form.className);
  RegisterFormClass(cls.c_str(), proc);
  HWND hwnd = CreateWindowExW(kDialogExStyle, cls.c_str(), Wide(form.caption).c_str(), kDialogStyle, 0, 0, 100, 100,
                              owner, nullptr, inst, object);
  if (!hwnd) return nullptr;
  const RECT r = CentredWindowRect(form.clientWidth, form.clientHeight, kDialogStyle, kDialogExStyle, false,
                                   DpiOf(hwnd));
  SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  return hwnd;
}

}  // namespace

HWND CreatePlainForm(const forms::FormSpec& form, HWND owner) { return CreateForm(form, owner, &PlainProc, nullptr); }

LRESULT MircoForm::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && onCommand) {
    onCommand(LOWORD(wParam));
    return 0;
  }
  if (msg == WM_CLOSE) {
    ShowWindow(window, SW_HIDE);
    if (onClose) onClose();
    return 0;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

bool CreateMircoForm(HWND owner, MircoForm& form) {
  HWND hwnd = CreateForm(forms::kMirco, owner, &WindowProcOf<MircoForm, &MircoForm::Handle, &MircoForm::window>, &form);
  if (!hwnd) return false;
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
