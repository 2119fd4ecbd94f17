// What the notification-area icon shows and offers while the main window
// waits there: the icon and its tip follow what the program is doing, and
// its menu gives the main window's own commands, each where it makes sense.
#pragma once

#include <string>
#include <vector>

namespace tesmuro::tray {

enum class State { Idle, Recording, Playing };

// Recording comes first: a recording started during a run is what the keys
// and the mouse are going to.
State StateOf(bool recording, bool playing);

// The icon's tip (UTF-8).
std::string Tip(State state);

// The menu's own command: the main window comes back. Every other item
// carries the id of the main window's button or menu item it stands for.
inline constexpr int kShowMainWindow = 1;
// 停止 from the menu: as the Stop button, without the clicks that chose it.
inline constexpr int kStopFromMenu = 2;

struct MenuItem {
  int command;          // 0: a separator
  std::string caption;  // UTF-8
  bool enabled;
};

// The menu, top to bottom: 录制, 播放 (as the Play button: the file dialog
// first), 停止, then 显示主窗口 (the default item) and 退出. Nothing can be
// started while something runs, and there is nothing to stop while nothing
// does.
std::vector<MenuItem> Menu(State state);

}  // namespace tesmuro::tray
