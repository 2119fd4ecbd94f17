#include "app/tray_menu.h"

#include "forms/main_form.h"

namespace tesmuro::tray {

State StateOf(bool recording, bool playing) {
  if (recording) return State::Recording;
  return playing ? State::Playing : State::Idle;
}

std::string Tip(State state) {
  switch (state) {
    case State::Recording: return "Tesmuro - 录制中";
    case State::Playing: return "Tesmuro - 播放中";
    case State::Idle: break;
  }
  return "Tesmuro - 就绪";
}

std::vector<MenuItem> Menu(State state) {
  namespace main = forms::main;
  const bool idle = state == State::Idle;
  return {
      {main::kIdSBRecord, "录制", idle},
      {main::kIdSBProc, "播放", idle},
      {kStopFromMenu, "停止", !idle},
      {0, "", true},
      {kShowMainWindow, "显示主窗口", true},
      {main::kMnuExit, "退出", true},
  };
}

}  // namespace tesmuro::tray
