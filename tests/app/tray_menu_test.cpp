// The notification-area icon's menu: which of the main window's commands
// each item gives, and which can be chosen in which state.
#include "app/tray_menu.h"

#include <gtest/gtest.h>

#include "forms/main_form.h"

namespace tesmuro::tray {
namespace {

TEST(TrayMenu, ItemsGiveTheMainWindowsCommandsAndOnlyThoseThatFitTheState) {
  namespace main = forms::main;
  EXPECT_EQ(StateOf(false, false), State::Idle);
  EXPECT_EQ(StateOf(false, true), State::Playing);
  EXPECT_EQ(StateOf(true, true), State::Recording);

  const struct {
    State state;
    bool record, play, stop;
  } cases[] = {{State::Idle, true, true, false}, {State::Recording, false, false, true},
               {State::Playing, false, false, true}};
  for (const auto& c : cases) {
    const std::vector<MenuItem> m = Menu(c.state);
    ASSERT_EQ(m.size(), 6u);
    // 播放 is the Play button's command: the file dialog, then the run.
    EXPECT_EQ(m[0].command, main::kIdSBRecord);
    EXPECT_EQ(m[1].command, main::kIdSBProc);
    EXPECT_EQ(m[2].command, kStopFromMenu) << "the Stop button's, without the menu's own clicks";
    EXPECT_EQ(m[3].command, 0) << "a separator";
    EXPECT_EQ(m[4].command, kShowMainWindow);
    EXPECT_EQ(m[5].command, main::kMnuExit);
    EXPECT_EQ((std::vector<std::string>{m[0].caption, m[1].caption, m[2].caption, m[4].caption, m[5].caption}),
              (std::vector<std::string>{"录制", "播放", "停止", "显示主窗口", "退出"}));
    EXPECT_EQ(m[0].enabled, c.record);
    EXPECT_EQ(m[1].enabled, c.play);
    EXPECT_EQ(m[2].enabled, c.stop);
    EXPECT_TRUE(m[4].enabled && m[5].enabled) << "the window and 退出 are always there";
  }
  EXPECT_NE(Tip(State::Idle), Tip(State::Playing));
  EXPECT_NE(Tip(State::Playing), Tip(State::Recording));
}

}  // namespace
}  // namespace tesmuro::tray
