// The script hot keys as the main window serves them: a row's key plays its
// script with its passes when nothing runs, and nothing otherwise.
#include <gtest/gtest.h>

#include "../play/player_fakes.h"
#include "app/main_window.h"
#include "support/main_window_fixture.h"

namespace tesmuro {
namespace {

constexpr uint16_t kCtrlF5 = 0x4000 | 0x74;

class ScriptKeysTest : public test::MainWindowFixture {
 protected:
  ScriptKeysTest() {
    settings = ConstructionSettings();
    settings.LoopUntilKey = true;  // the row's passes take the place of the loops
    settings.RecJoy = false;
    settings.RecMouseMsg = settings.RecKeyMsg = false;
    dir.Write("click.crec", play::test::Gbk("延迟 10\r\n左键按下\r\n延迟 10\r\n左键释放\r\n"));
    dir.Write("wait.crec", play::test::Gbk("延迟 60000\r\n左键按下\r\n"));
    const setup::ScriptHotKey rows[] = {{kCtrlF5, "click.crec", 3}};
    dir.Write(setup::kScriptHotKeysFileName, setup::FormatScriptHotKeys(rows));
  }
  TFrmMain& Window() {
    if (!w) {
      dir.Write("Quorlin.qlset", FormatSettings(settings));
      MainWindowServices s = Services();
      s.newPlayer = [this] {
        ++made;
        return std::make_unique<play::TRunThread>(sink, shutdown, std::make_unique<play::test::FakePlayClock>());
      };
      w = std::make_unique<TFrmMain>(s);
      w->FormShow();
    }
    return *w;
  }
  // A key-down of the user's, with the user's Ctrl held or not; its command run.
  HotKeyCommand Press(uint32_t vk, bool ctrl) {
    KeyHookEvent e;
    e.message = 0x100;
    e.vk = vk;
    e.modifiers = e.realModifiers = ctrl ? 0x4000 : 0;
    const HotKeyCommand c = w->OnKeyEvent(e);
    w->RunHotKey(c);
    return c;
  }
  int Clicks() const {
    int n = 0;
    for (auto& c : sink.calls) n += c.rfind("left down", 0) == 0;
    return n;
  }

  TSettings settings;
  play::test::RecordingSink sink;
  play::test::FakeShutdown shutdown;
  int made = 0;
  std::unique_ptr<TFrmMain> w;
};

TEST_F(ScriptKeysTest, ARowsKeyPlaysItsScriptForItsPassesFromTheRowsFilesFolder) {
  Window();
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(Press(0x74, /*ctrl=*/false), HotKeyCommand::None) << "F5 without Ctrl is another key";
  EXPECT_EQ(made, 0);
  EXPECT_EQ(Press(0x74, /*ctrl=*/true), HotKeyCommand::ScriptKey);
  ASSERT_NE(w->Playback().Player(), nullptr);
  EXPECT_EQ(w->Playback().Player()->Options().loopMode, play::LoopMode::Count);
  EXPECT_EQ(w->Playback().Player()->Options().loopCount, 3);
  EXPECT_EQ(view.caption, "Tesmuro - " + dir.File("click.crec"));
  w->Playback().Player()->WaitFor();
  EXPECT_EQ(Clicks(), 3);
  EXPECT_TRUE(view.boxes.empty());
}

TEST_F(ScriptKeysTest, ARowsKeyIsIgnoredWhileARunOrARecordingIsOn) {
  Window();
  view.dialogAnswers = {dir.File("wait.crec")};
  w->SBProcClick();
  ASSERT_EQ(made, 1);
  const play::TRunThread* running = w->Playback().Player();
  EXPECT_EQ(Press(0x74, true), HotKeyCommand::ScriptKey);
  EXPECT_EQ(made, 1) << "no second player";
  EXPECT_EQ(w->Playback().Player(), running);
  EXPECT_FALSE(running->Finished()) << "the run goes on";
  w->SBStopClick();

  w->SBRecordClick();
  ASSERT_TRUE(w->Recorder().Recording());
  Press(0x74, true);
  EXPECT_EQ(made, 1);
  EXPECT_TRUE(w->Recorder().Recording()) << "the recording goes on";
  EXPECT_TRUE(view.boxes.empty());
}

}  // namespace
}  // namespace tesmuro
