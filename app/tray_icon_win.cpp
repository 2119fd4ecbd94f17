#include "app/tray_icon_win.h"

#include <shellapi.h>

#include <string>

#include "forms/main_form.h"
#include "ui/glyphs_win.h"
#include "ui/win_util_win.h"

namespace tesmuro::win {
namespace {

constexpr UINT kTrayMsg = WM_APP + 40;   // the icon's mouse messages
constexpr UINT kIconId = 1;
constexpr UINT_PTR kStateTimer = 0x7E41;  // follows the state while the icon is shown
constexpr UINT kStateMs = 250;

NOTIFYICONDATAW IconData(HWND main) {
  NOTIFYICONDATAW d{};
  d.cbSize = sizeof d;
  d.hWnd = main;
  d.uID = kIconId;
  return d;
}

}  // namespace

TrayIconWin::TrayIconWin(HWND main, TFrmMain& logic)
    : main_(main), logic_(logic), taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")) {
  const int size = GetSystemMetrics(SM_CXSMICON) > 0 ? GetSystemMetrics(SM_CXSMICON) : 16;
  icons_[static_cast<int>(tray::State::Idle)] = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  icons_[static_cast<int>(tray::State::Recording)] = DrawGlyphIcon(forms::main::Glyph::Record, size);
  icons_[static_cast<int>(tray::State::Playing)] = DrawGlyphIcon(forms::main::Glyph::Play, size);
}

TrayIconWin::~TrayIconWin() {
  Remove();
  for (HICON i : icons_)
    if (i) DestroyIcon(i);
}

void TrayIconWin::Add() {
  state_ = tray::StateOf(logic_.Recorder().Recording(), logic_.Playback().Playing());
  NOTIFYICONDATAW d = IconData(main_);
  d.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  d.uCallbackMessage = kTrayMsg;
  d.hIcon = icons_[static_cast<int>(state_)];
  wcsncpy(d.szTip, Wide(tray::Tip(state_)).c_str(), ARRAYSIZE(d.szTip) - 1);
  Shell_NotifyIconW(NIM_ADD, &d);
  if (!shown_) SetTimer(main_, kStateTimer, kStateMs, nullptr);
  shown_ = true;
}

void TrayIconWin::Remove() {
  if (!shown_) return;
  shown_ = false;
  KillTimer(main_, kStateTimer);
  NOTIFYICONDATAW d = IconData(main_);
  Shell_NotifyIconW(NIM_DELETE, &d);
}

void TrayIconWin::Update(bool force) {
  if (!shown_) return;
  const tray::State now = tray::StateOf(logic_.Recorder().Recording(), logic_.Playback().Playing());
  if (now == state_ && !force) return;
  state_ = now;
  NOTIFYICONDATAW d = IconData(main_);
  d.uFlags = NIF_ICON | NIF_TIP;
  d.hIcon = icons_[static_cast<int>(state_)];
  wcsncpy(d.szTip, Wide(tray::Tip(state_)).c_str(), ARRAYSIZE(d.szTip) - 1);
  Shell_NotifyIconW(NIM_MODIFY, &d);
}

void TrayIconWin::Restore() {
  Remove();
  ShowWindow(main_, SW_RESTORE);
  SetForegroundWindow(main_);
}

void TrayIconWin::ShowMenu() {
  if (busy_) return;  // the last command still holds its dialog open
  Update(false);
  HMENU menu = CreatePopupMenu();
  for (const tray::MenuItem& item : tray::Menu(state_)) {
    if (item.command == 0) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    AppendMenuW(menu, MF_STRING | (item.enabled ? 0u : MF_GRAYED), static_cast<UINT_PTR>(item.command),
                Wide(item.caption).c_str());
  }
  SetMenuDefaultItem(menu, tray::kShowMainWindow, FALSE);
  POINT at{};
  GetCursorPos(&at);
  if (takeHookEvents) takeHookEvents();
  logic_.TrayMenuOpens();
  // The menu closes when the user clicks elsewhere only if its window is in front.
  SetForegroundWindow(main_);
  const int command = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, at.x, at.y, 0, main_,
                                     nullptr);
  PostMessageW(main_, WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (command == 0) return;
  if (command == tray::kShowMainWindow) {
    Restore();
    return;
  }
  // The main window's own command, as its button or menu item gives it.
  busy_ = true;
  SendMessageW(main_, WM_COMMAND, MAKEWPARAM(command, 0), 0);
  busy_ = false;
  Update(false);
}

bool TrayIconWin::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  if (msg == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_MINIMIZE && logic_.Settings.MinimizeToTray &&
      IsWindowEnabled(main_)) {
    // The user minimises the window: it goes to the notification area.
    result = DefWindowProcW(main_, msg, wParam, lParam);
    ShowWindow(main_, SW_HIDE);
    Add();
    return true;
  }
  if (msg == kTrayMsg && wParam == kIconId) {
    switch (static_cast<UINT>(lParam)) {
      case WM_LBUTTONDBLCLK: Restore(); break;
      case WM_RBUTTONUP:
      case WM_CONTEXTMENU: ShowMenu(); break;
      default: break;
    }
    return true;
  }
  if (msg == WM_TIMER && wParam == kStateTimer) {
    Update(false);
    return true;
  }
  if (msg == taskbarCreated_ && taskbarCreated_ != 0) {
    // The taskbar restarted without our icon.
    if (shown_) {
      shown_ = false;
      KillTimer(main_, kStateTimer);
      Add();
    }
    return true;
  }
  // The window came back some other way (the mini window, a run that made
  // it step aside), or is going.
  if ((msg == WM_SHOWWINDOW && wParam) || msg == WM_DESTROY) Remove();
  return false;
}

}  // namespace tesmuro::win
