// The emergency stop key, its hint in the status bar, and the periodic Tick
// that notices an ended player and has the keyboard hook checked.
#include <gtest/gtest.h>

#include "../play/player_fakes.h"
#include "app/main_window.h"
#include "support/main_window_fixture.h"

namespace tesmuro {
namespace {

constexpr char kHint[] = "按 Pause 键可紧急停止";
constexpr char kVersion[] = "v1.0.3";
constexpr char kHookBack[] = "键盘钩子已失效，已重新安装";

class EmergencyStopTest : public test::MainWindowFixture {
 protected:
  EmergencyStopTest() {
    // Hot keys off and no Stop key: nothing else could stop an endless run.
    settings = ConstructionSettings();
    settings.ShortCutControl = false;
    settings.StopKey = 0;
    settings.LoopUntilKey = true;
    settings.RecJoy = false;
    settings.RecMouseMsg = settings.RecKeyMsg = false;
    dir.Write("endless.crec", play::test::Gbk("延迟 10\r\n左键按下\r\n延迟 10\r\n左键释放\r\n"));
  }
  TFrmMain& Window() {
    if (!w) {
      dir.Write("Quorlin.qlset", FormatSettings(settings));
      MainWindowServices s = Services();
      s.newPlayer = [this] {
        return std::make_unique<play::TRunThread>(sink, shutdown, std::make_unique<play::test::FakePlayClock>());
      };
      w = std::make_unique<TFrmMain>(s);
      w->FormShow();  // installs the keyboard hook
    }
    return *w;
  }
  void Play(const char* file) {
    view.dialogAnswers = {dir.File(file)};
    Window().SBProcClick();
    ASSERT_NE(w->Playback().Player(), nullptr);
  }
  static KeyHookEvent Key(uint32_t message, uint32_t vk, bool injected = false) {
    KeyHookEvent e;
    e.message = message;
    e.vk = vk;
    e.scanCode = 69;
    e.flags = injected ? 0x10 : 0;
    return e;
  }
  // What the window does with a key event: hand it over, run its command.
  HotKeyCommand Press(const KeyHookEvent& e) {
    const HotKeyCommand c = w->OnKeyEvent(e);
    w->RunHotKey(c);
    return c;
  }

  TSettings settings;
  play::test::RecordingSink sink;
  play::test::FakeShutdown shutdown;
  std::unique_ptr<TFrmMain> w;
};

TEST_F(EmergencyStopTest, ThePausePressOfTheUserStopsAnEndlessRunWithHotKeysOff) {
  Play("endless.crec");
  EXPECT_EQ(view.status[3], kHint);
  // The script's own Pause (injected) and the key's release do nothing.
  EXPECT_EQ(Press(Key(0x100, 0x13, /*injected=*/true)), HotKeyCommand::None);
  EXPECT_EQ(Press(Key(0x101, 0x13)), HotKeyCommand::None);
  KeyHookEvent lowIl = Key(0x100, 0x13);
  lowIl.flags = 0x02;  // injected from a lower integrity level
  EXPECT_EQ(Press(lowIl), HotKeyCommand::None);
  ASSERT_NE(w->Playback().Player(), nullptr);
  EXPECT_FALSE(w->Playback().Player()->Finished());

  log.calls.clear();
  EXPECT_EQ(Press(Key(0x100, 0x13)), HotKeyCommand::EmergencyStop);
  EXPECT_EQ(w->Playback().Player(), nullptr) << "the run is over";
  EXPECT_EQ(view.status[3], kVersion);
  EXPECT_EQ(log.Count("beep:1000:100"), 1) << "as the Stop command does";
  EXPECT_EQ(shutdown.Exits(), 0);
  // Now nothing runs: the key is left alone.
  EXPECT_EQ(Press(Key(0x100, 0x13)), HotKeyCommand::None);
}

TEST_F(EmergencyStopTest, CtrlPauseAndPauseAsASystemKeyStopToo) {
  Play("endless.crec");
  EXPECT_EQ(Press(Key(0x100, 0x03)), HotKeyCommand::EmergencyStop) << "Ctrl+Pause comes as Cancel";
  EXPECT_EQ(w->Playback().Player(), nullptr);
  Play("endless.crec");
  EXPECT_EQ(Press(Key(0x104, 0x13)), HotKeyCommand::EmergencyStop) << "with Alt down";
  EXPECT_EQ(w->Playback().Player(), nullptr);
}

TEST_F(EmergencyStopTest, WinsOverAHotKeyOnTheSameKeyOnlyWhileSomethingRuns) {
  settings.ShortCutControl = true;
  settings.RecordKey = 0x13;
  TFrmMain& m = Window();
  EXPECT_EQ(m.OnKeyEvent(Key(0x100, 0x13)), HotKeyCommand::Record) << "nothing runs: the hot key's";
  Play("endless.crec");
  EXPECT_EQ(m.OnKeyEvent(Key(0x100, 0x13)), HotKeyCommand::EmergencyStop);
  EXPECT_EQ(m.OnKeyEvent(Key(0x100, 0x13, true)), HotKeyCommand::Record) << "an injected press is a hot key's";
  m.SBStopClick();
}

TEST_F(EmergencyStopTest, StopsRecordingAndIsRecordedLikeTheStopKey) {
  settings.RecMouse = settings.RecKey = true;
  TFrmMain& m = Window();
  m.SBRecordClick();
  ASSERT_TRUE(m.Recorder().Recording());
  EXPECT_EQ(Press(Key(0x100, 0x13)), HotKeyCommand::EmergencyStop);
  EXPECT_FALSE(m.Recorder().Recording());
  EXPECT_NE(view.memo.find("\xB0\xB4\xBC\xFC\xB0\xB4\xCF\xC2 19 69 0 "), std::string::npos) << view.memo;
  EXPECT_EQ(view.status.count(3), 0u) << "no player: the version panel is left alone";
}

TEST_F(EmergencyStopTest, TickPutsTheVersionBackWhenTheRunEndsOnItsOwn) {
  settings.LoopUntilKey = false;
  settings.LoopByCount = true;
  settings.LoopCount = 2;
  Play("endless.crec");
  EXPECT_EQ(view.status[3], kHint);
  w->Playback().Player()->WaitFor();
  EXPECT_EQ(view.status[3], kHint) << "the player does not report back";
  EXPECT_EQ(Press(Key(0x100, 0x13)), HotKeyCommand::None) << "an ended run is not running";
  w->Tick();
  EXPECT_EQ(view.status[3], kVersion);

  // A new run over an ended one shows the hint again; Play over a running
  // one keeps it.
  Play("endless.crec");
  EXPECT_EQ(view.status[3], kHint);
  w->Settings.LoopUntilKey = true;
  w->Settings.LoopByCount = false;
  Play("endless.crec");
  EXPECT_EQ(view.status[3], kHint);
  w->Tick();
  EXPECT_EQ(view.status[3], kHint);
  w->SBStopClick();
  EXPECT_EQ(view.status[3], kVersion);
}

TEST_F(EmergencyStopTest, TickHasTheKeyboardHookCheckedWhileItMatters) {
  TFrmMain& m = Window();
  m.Tick();
  EXPECT_EQ(hooks.keyChecks, 0) << "hot keys off and nothing running";
  Play("endless.crec");
  m.Tick();
  EXPECT_EQ(hooks.keyChecks, 1);
  EXPECT_EQ(view.status.count(2), 0u) << "a hook that was fine is not mentioned";
  hooks.keyHookLost = true;
  m.Tick();
  EXPECT_EQ(view.status[2], kHookBack);
  m.SBStopClick();
  m.Tick();
  EXPECT_EQ(hooks.keyChecks, 2);

  m.Settings.ShortCutControl = true;
  m.SBStopClick();  // hands the hot keys and their switch to the keyboard recorder
  m.Tick();
  EXPECT_EQ(hooks.keyChecks, 3) << "hot keys on";
  m.FormClose();  // the hook is removed: nothing to check
  m.Tick();
  EXPECT_EQ(hooks.keyChecks, 3);
}

}  // namespace
}  // namespace tesmuro
