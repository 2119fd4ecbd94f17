#include "auxiliary/about_box_win.h"

#include "ui/win_util_win.h"
#include "ui/window_proc_win.h"
#include "forms/about_form.h"
#include "forms/aux_forms.h"

namespace tesmuro::win {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
constexpr wchar_t kPanelClass[] = L"TAboutPanel";
constexpr int kProgramIconId = 1;  // the program's icon resource

}  // namespace

AboutBoxWin::AboutBoxWin(Application& app) : app_(app) {}

AboutBoxWin::~AboutBoxWin() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (font_) DeleteObject(font_);
  if (icon_) DestroyIcon(icon_);
}

bool AboutBoxWin::Create(HWND owner) {
  const HINSTANCE inst = GetModuleHandleW(nullptr);
  const std::wstring cls = Wide(forms::kAboutBox.className);
  RegisterFormClass(cls.c_str(), &WindowProcOf<AboutBoxWin, &AboutBoxWin::Handle, &AboutBoxWin::hwnd_>);
  RegisterFormClass(kPanelClass, &WindowProcOf<AboutBoxWin, &AboutBoxWin::HandlePanel, &AboutBoxWin::panel_>);

  hwnd_ = CreateWindowExW(kExStyle, cls.c_str(), Wide(forms::kAboutBox.caption).c_str(), kStyle, 0, 0, 100, 100,
                          owner, nullptr, inst, this);
  if (!hwnd_) return false;
  dpi_ = DpiOf(hwnd_);
  const RECT r = CentredWindowRect(forms::kAboutBox.clientWidth, forms::kAboutBox.clientHeight, kStyle, kExStyle,
                                   false, dpi_);
  SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
  font_ = MakeFont(forms::kDialogFontName, forms::kDialogFontHeight, dpi_);
  const auto S = [this](int px) { return Scale(px, dpi_); };

  using namespace forms::about;
  panel_ = CreateWindowExW(0, kPanelClass, L"", WS_CHILD | WS_VISIBLE, S(kPanel1.left), S(kPanel1.top),
                           S(kPanel1.width), S(kPanel1.height), hwnd_, nullptr, inst, this);
  icon_ = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(kProgramIconId), IMAGE_ICON, S(kProgramIcon.width),
                                        S(kProgramIcon.height), 0));

  HDC dc = GetDC(hwnd_);
  HGDIOBJ old = SelectObject(dc, font_);
  for (const Label& l : kLabels) {
    // Sized to its text, as a label that fits itself.
    const std::wstring text = Wide(l.text);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    HWND label = CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, S(l.left),
                                 S(l.top), size.cx, size.cy, panel_, nullptr, inst, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  folder_ = CreateWindowExW(0, L"STATIC", L"",
                                WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, S(kSettingsFolder.left),
                                S(kSettingsFolder.top), S(kSettingsFolder.width), S(kSettingsFolder.height), panel_,
                                nullptr, inst, nullptr);
  SendMessageW(folder_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);

  ok_ = CreateWindowExW(0, L"BUTTON", Wide(kOKCaption).c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                        S(kOKButton.left), S(kOKButton.top), S(kOKButton.width), S(kOKButton.height), hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdOKButton)), inst, nullptr);
  SendMessageW(ok_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  return true;
}

void AboutBoxWin::SetSettingsFolder(const std::string& folder) {
  if (folder_) SetWindowTextW(folder_, Wide(folder).c_str());
}

int AboutBoxWin::ShowModal() {
  if (!hwnd_ || showing_) return 0;
  showing_ = true;
  result_ = 0;
  app_.ShowModal(hwnd_, ok_, [this] { return result_ != 0 || !hwnd_; });
  const int result = result_;
  showing_ = false;
  return result;
}

void AboutBoxWin::End(int result) {
  if (showing_) result_ = result;
  else if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

LRESULT AboutBoxWin::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      // OK and Enter arrive as IDOK, Esc as IDCANCEL.
      if (LOWORD(wParam) == IDOK) End(forms::about::kIdOKButton);
      else if (LOWORD(wParam) == IDCANCEL) End(IDCANCEL);
      return 0;
    case WM_CLOSE:
      End(IDCANCEL);
      return 0;
    default:
      return DefWindowProcW(hwnd_, msg, wParam, lParam);
  }
}

LRESULT AboutBoxWin::HandlePanel(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg != WM_PAINT) return DefWindowProcW(panel_, msg, wParam, lParam);
  PaintPanel();
  return 0;
}

void AboutBoxWin::PaintPanel() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(panel_, &ps);
  RECT rc;
  GetClientRect(panel_, &rc);
  // EDGE_ETCHED: a lowered outer and a raised inner bevel.
  DrawEdge(dc, &rc, EDGE_ETCHED, BF_RECT);
  if (icon_) {
    using forms::about::kProgramIcon;
    DrawIconEx(dc, Scale(kProgramIcon.left, dpi_), Scale(kProgramIcon.top, dpi_), icon_,
               Scale(kProgramIcon.width, dpi_), Scale(kProgramIcon.height, dpi_), 0, nullptr, DI_NORMAL);
  }
  EndPaint(panel_, &ps);
}

}  // namespace tesmuro::win
