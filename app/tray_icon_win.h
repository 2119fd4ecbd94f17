// The notification-area icon: with 最小化到通知区域 on, minimising the main
// window hides it and puts this icon in the notification area instead. The
// icon and its tip show whether the program is idle, recording or playing;
// a double click brings the window back, the right button opens a menu of
// the main window's commands (app/tray_menu.h). The icon is added again when
// the taskbar restarts, and goes when the window comes back or closes.
#pragma once

#include <windows.h>

#include <functional>

#include "app/main_window.h"
#include "app/tray_menu.h"

namespace tesmuro::win {

class TrayIconWin {
 public:
  // `main`: the main window, whose messages are offered to OnMessage and
  // whose WM_COMMAND carries out the menu's commands; `logic`: its logic,
  // for the setting and the state.
  TrayIconWin(HWND main, TFrmMain& logic);
  ~TrayIconWin();
  TrayIconWin(const TrayIconWin&) = delete;
  TrayIconWin& operator=(const TrayIconWin&) = delete;

  // Every message of the main window comes here first; true when it was
  // handled here, with `result` as its result.
  bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

  bool Shown() const { return shown_; }

  // Takes the hooks' events that wait, before the menu opens: the click that
  // opened it is then known to the recording.
  std::function<void()> takeHookEvents;

 private:
  void Add();
  void Remove();
  // The icon and tip for what the program is doing now.
  void Update(bool force);
  void Restore();
  void ShowMenu();

  HWND main_;
  TFrmMain& logic_;
  UINT taskbarCreated_ = 0;
  HICON icons_[3] = {nullptr, nullptr, nullptr};  // by tray::State
  bool shown_ = false;
  bool busy_ = false;  // a command of the menu is running (it may hold a dialog open)
  tray::State state_ = tray::State::Idle;
};

}  // namespace tesmuro::win
