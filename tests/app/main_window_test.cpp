#include "app/main_window.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/main_window_fixture.h"

namespace tesmuro {
namespace {

class MainWindowTest : public test::MainWindowFixture {
 protected:
};

TEST_F(MainWindowTest, ConstructionWithoutSettingsFileKeepsConstructionValues) {
  TFrmMain w(Services());
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(w.Settings, ConstructionSettings());
  EXPECT_TRUE(w.Settings.RecMouse && w.Settings.RecKey && w.Settings.RecJoy && w.Settings.RecMouseMsg &&
              w.Settings.RecKeyMsg);
  EXPECT_TRUE(w.Document().FileName.empty());
  EXPECT_FALSE(w.Recorder().JoyRecording);
  EXPECT_FALSE(w.Recorder().Mouse().Installed());
  EXPECT_FALSE(w.Recorder().Keys().Installed()) << "no hook before the window is shown";
  EXPECT_FALSE(w.Recorder().Keys().HotKeysEnabled) << "the hot-key switch follows ShortCutControl";
}

TEST_F(MainWindowTest, ConstructionReadsTheFileBesideTheProgramAndPublishesHotKeys) {
  TSettings s = ConstructionSettings();
  s.RecordKey = 120;
  s.StartKey = 121;
  s.StopKey = 122;
  s.ShortCutControl = true;
  s.RecJoy = false;
  dir.Write("Quorlin.qlset", FormatSettings(s));
  TFrmMain w(Services());
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(w.Settings, s);
  EXPECT_EQ(w.Recorder().Keys().HotRecordKey, 120);
  EXPECT_EQ(w.Recorder().Keys().HotStartKey, 121);
  EXPECT_EQ(w.Recorder().Keys().HotStopKey, 122);
  EXPECT_TRUE(w.Recorder().Keys().HotKeysEnabled);
}

TEST_F(MainWindowTest, CreateShowAndClose) {
  clock.now = 5555;
  TFrmMain w(Services());
  EXPECT_EQ(w.Recorder().LastEventTime, 5555u) << "the recording clock starts with the window";
  EXPECT_NE(std::find(log.calls.begin(), log.calls.end(), "idle-handler"), log.calls.end());

  // Showing copies the three keys but not the switch, and installs the
  // keyboard hook once however often the window is shown.
  w.Settings.RecordKey = 65;
  w.Settings.ShortCutControl = true;
  log.calls.clear();
  w.FormShow();
  w.FormShow();
  EXPECT_EQ(w.Recorder().Keys().HotRecordKey, 65);
  EXPECT_FALSE(w.Recorder().Keys().HotKeysEnabled);
  EXPECT_TRUE(w.Recorder().Keys().Installed());
  EXPECT_EQ(log.calls, (std::vector<std::string>{"process-messages", "hook:key:install", "process-messages"}));

  w.Recorder().Mouse().Install();
  w.Recorder().Mouse().SetRecording(true);
  log.calls.clear();
  w.FormClose();
  EXPECT_FALSE(w.Recorder().Mouse().Recording());
  EXPECT_FALSE(w.Recorder().Keys().Installed());
  EXPECT_EQ(log.calls, (std::vector<std::string>{"hook:mouse:uninstall", "hook:key:uninstall", "joy:release:0",
                                                 "joy:release:1", "sleep:100"}));
  EXPECT_TRUE(view.boxes.empty()) << "closing shows nothing";
}

TEST_F(MainWindowTest, DestructionRemovesHooksStillInstalled) {
  {
    TFrmMain w(Services());
    w.FormShow();
    w.Recorder().Mouse().Install();
    log.calls.clear();
  }
  EXPECT_EQ(log.calls, (std::vector<std::string>{"hook:key:uninstall", "hook:mouse:uninstall"}));
}

TEST_F(MainWindowTest, StepCounterFollowsTheMemoLines) {
  TFrmMain w(Services());
  w.AppIdle();
  EXPECT_EQ(view.stepCounter, "录制了0步");
  for (int i = 0; i < 12; ++i) view.MemoAppendLine(i % 2 ? "x" : "\xD1\xD3\xB3\xD9 5");
  w.AppIdle();
  EXPECT_EQ(view.stepCounter, "录制了12步");
}

TEST_F(MainWindowTest, TheCaptionNamesTheScriptLoaded) {
  TFrmMain w(Services());
  dir.Write("b.crec", "x\r\n");
  view.dialogAnswers = {dir.File("b.crec")};
  w.SBLoadClick();
  EXPECT_EQ(view.caption, "Tesmuro - " + dir.File("b.crec"));
}

}  // namespace
}  // namespace tesmuro

namespace tesmuro {
namespace {

TEST_F(MainWindowTest, MiniWindowStandsInForTheMainWindow) {
  TSettings s = ConstructionSettings();
  s.AutoPlay = true;
  s.AutoFileName = dir.File("missing.crec");  // auto play tries again on every showing
  dir.Write("Quorlin.qlset", FormatSettings(s));
  TFrmMain w(Services());
  view.whileMiniShown = [&] {
    EXPECT_FALSE(view.mainVisible);
    w.AppIdle();  // the counter goes on while the main window is hidden
    w.ShowMainWindow();
  };
  log.calls.clear();
  w.SBToMicroClick();
  EXPECT_EQ(log.calls,
            (std::vector<std::string>{"main:hide", "mini:show", "hook:key:install", "main:show", "process-messages",
                                      "box:不能打开动作记录文件！", "mini:closed"}))
      << "closing the mini window shows the main window once, which runs FormShow; the keyboard hook is in "
         "place before the window can be seen, so a hot key pressed as it appears is served";
  EXPECT_TRUE(view.mainVisible);
}

}  // namespace
}  // namespace tesmuro
