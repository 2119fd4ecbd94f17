// The settings command of the main window: open, edit, apply.
#include <gtest/gtest.h>

#include <functional>

#include "app/main_window.h"
#include "forms/setup_form.h"
#include "setup/setup_dialog.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

namespace tesmuro {
namespace {

using setup::SetupDialogState;
namespace id = forms::setup;

// The dialog; `user` is what the user does while it is open: it edits the
// controls' state and returns the modal result.
class FakeSetupDialog : public setup::ISetupDialog {
 public:
  explicit FakeSetupDialog(test::CallLog& log) : log_(log) {}
  SetupDialogState state;
  SetupDialogState shown;  // as it was filled
  std::function<int(SetupDialogState&)> user;
  bool showing = false;

  void SetState(const SetupDialogState& s) override {
    log_.Add("setup:fill");
    state = shown = s;
  }
  SetupDialogState State() override {
    log_.Add("setup:read");
    return state;
  }
  int ShowModal() override {
    log_.Add("setup:show");
    showing = true;
    const int r = user ? user(state) : setup::kResultGiveUp;
    showing = false;
    log_.Add("setup:closed");
    return r;
  }
  bool Showing() const override { return showing; }

 private:
  test::CallLog& log_;
};

// Marks the name conversions so a test sees which way a name went.
class SetupView : public test::FakeView {
 public:
  SetupView(test::CallLog& log, FakeSetupDialog& d) : FakeView(log), dialog_(d) {}
  setup::ISetupDialog* SetupDialog() override { return &dialog_; }
  std::string AnsiToUtf8(std::string_view s) override { return std::string("U(").append(s).append(")"); }
  std::string Utf8ToAnsi(std::string_view s) override { return std::string("A(").append(s).append(")"); }

 private:
  FakeSetupDialog& dialog_;
};

class SoftwareSetupTest : public ::testing::Test {
 protected:
  MainWindowServices Services(std::string folder = {}) {
    return {view, clock, hooks, joys, folder.empty() ? dir.Str() : folder, test::IdlePlayers()};
  }
  std::string FileBytes() { return dir.Read("Quorlin.qlset"); }

  // What the file holds at the start of most tests: hot keys on, F9 to start.
  static TSettings OnDisk() {
    TSettings s = ConstructionSettings();
    s.LoopByCount = true;
    s.LoopCount = 3;
    s.LoopHours = 1;
    s.StartKey = 120;
    s.StopKey = 121;
    s.RecordKey = 122;
    s.ShortCutControl = true;
    s.AutoFileName = "old.crec";
    s.AutoPlay = true;
    return s;
  }

  test::TempDir dir;
  test::CallLog log;
  FakeSetupDialog dialog{log};
  SetupView view{log, dialog};
  test::FakeClock clock;
  test::FakeHooks hooks{log};
  test::FakeJoysticks joys{log};
};

TEST_F(SoftwareSetupTest, ConfirmReReadsTheFileThenAppliesSavesAndSwitchesTheHotKeys) {
  dir.Write("Quorlin.qlset", FormatSettings(OnDisk()));
  TFrmMain w(Services());
  w.Settings.LoopCount = 555;  // in memory only: the command reads the file again
  w.Settings.RecJoy = false;

  dialog.user = [](SetupDialogState& d) {
    d.Check(id::kIdChkShortCut, false);
    d.HotKeyStart = 16505;  // Ctrl+F10
    d.EditLoopNum = " 12";
    setup::SetLoopRadio(d, setup::LoopRadio::Key, true);
    d.EditAutoFileName = "C:\\新\\b.crec";
    return setup::kResultConfirm;
  };
  log.calls.clear();
  w.MnuSoftwareSetupClick();

  EXPECT_EQ(log.calls, (std::vector<std::string>{"setup:fill", "setup:show", "setup:closed", "setup:read"}));
  EXPECT_EQ(dialog.shown, setup::FillSetupDialog(OnDisk(), [](std::string_view s) { return std::string("U(").append(s).append(")"); }));
  EXPECT_EQ(dialog.shown.EditAutoFileName, "U(old.crec)");

  TSettings expected = OnDisk();
  expected.ShortCutControl = false;
  expected.StartKey = 16505;
  expected.LoopCount = 12;
  expected.LoopByCount = false;
  expected.LoopUntilKey = true;
  expected.AutoFileName = "A(C:\\新\\b.crec)";
  EXPECT_EQ(w.Settings, expected);
  EXPECT_EQ(FileBytes(), FormatSettings(expected));
  EXPECT_TRUE(view.boxes.empty());

  // The switch takes effect at once, the keys at their next publication.
  EXPECT_FALSE(w.Recorder().Keys().HotKeysEnabled);
  EXPECT_EQ(w.Recorder().Keys().HotStartKey, 120);
  EXPECT_EQ(w.Recorder().Keys().HotStopKey, 121);
  EXPECT_EQ(w.Recorder().Keys().HotRecordKey, 122);
  w.SBStopClick();  // the stop publishes them
  EXPECT_EQ(w.Recorder().Keys().HotStartKey, 16505);
}

TEST_F(SoftwareSetupTest, AnyOtherResultLeavesTheRecordAsTheFileHasItAndWritesNothing) {
  const std::string bytes = FormatSettings(OnDisk());
  for (int result : {int{setup::kResultGiveUp}, int{setup::kResultClose}, 0}) {
    dir.Write("Quorlin.qlset", bytes);
    TFrmMain w(Services());
    w.Settings.LoopCount = 555;
    w.Recorder().Keys().HotKeysEnabled = true;
    dialog.user = [result](SetupDialogState& d) {
      d.Check(id::kIdChkShortCut, false);
      d.EditAutoFileName = "picked with SBLoad.crec";
      d.EditHour = "not a number";
      return result;
    };
    log.calls.clear();
    w.MnuSoftwareSetupClick();
    EXPECT_EQ(w.Settings, OnDisk()) << result;
    EXPECT_EQ(FileBytes(), bytes);
    EXPECT_EQ(dir.FileCount(), 1u);
    EXPECT_TRUE(w.Recorder().Keys().HotKeysEnabled);
    EXPECT_EQ(log.Count("setup:read"), 0);
    EXPECT_TRUE(view.boxes.empty());
  }
}

TEST_F(SoftwareSetupTest, ABadNumberAppliesTheStepsBeforeItOnlyAndWritesNothing) {
  const std::string bytes = FormatSettings(OnDisk());
  dir.Write("Quorlin.qlset", bytes);
  TFrmMain w(Services());
  dialog.user = [](SetupDialogState& d) {
    d.Check(id::kIdChkMouse, false);  // step 1
    setup::SetLoopRadio(d, setup::LoopRadio::Time, true);  // steps 6 to 8
    d.EditLoopNum = "7";                                  // step 9
    d.EditHour = "12a";                                   // step 10
    d.EditMin = "9";
    d.Check(id::kIdChkShortCut, false);
    d.Check(id::kIdChkAutoShow, false);
    return setup::kResultConfirm;
  };
  try {
    w.MnuSoftwareSetupClick();
    FAIL() << "no error";
  } catch (const setup::InvalidInteger& e) {
    EXPECT_STREQ(e.what(), "循环时间的小时数必须是整数：“12a”。");
  }
  TSettings expected = OnDisk();
  expected.RecMouse = false;
  expected.LoopByCount = false;
  expected.LoopByTime = true;
  expected.LoopCount = 7;
  EXPECT_EQ(w.Settings, expected);
  EXPECT_EQ(FileBytes(), bytes);
  EXPECT_EQ(dir.FileCount(), 1u);
  EXPECT_TRUE(w.Recorder().Keys().HotKeysEnabled) << "the switch is not touched";
  EXPECT_TRUE(view.boxes.empty()) << "the error box is the dispatcher's";

  // The next opening starts from the file again.
  dialog.user = nullptr;
  w.MnuSoftwareSetupClick();
  EXPECT_EQ(w.Settings, OnDisk());
}

TEST_F(SoftwareSetupTest, ANegativeTimeIsReportedLikeABadNumberAndWritesNothing) {
  const std::string bytes = FormatSettings(OnDisk());
  dir.Write("Quorlin.qlset", bytes);
  TFrmMain w(Services());
  dialog.user = [](SetupDialogState& d) {
    d.Check(id::kIdChkShortCut, false);     // step 16
    d.Check(id::kIdChkShutPassTime, true);  // step 18
    d.EditPassH = "-600000";      // step 20
    d.EditAutoFileName = "x.crec";  // step 23
    return setup::kResultConfirm;
  };
  try {
    w.MnuSoftwareSetupClick();
    FAIL() << "no error";
  } catch (const setup::InvalidInteger& e) {
    EXPECT_STREQ(e.what(), "关机前累计时间的小时数不能为负数：“-600000”。");
  }
  EXPECT_EQ(FileBytes(), bytes);
  EXPECT_EQ(w.Settings.ShutHours, 0);
  EXPECT_EQ(w.Settings.AutoFileName, "old.crec");
  EXPECT_TRUE(w.Recorder().Keys().HotKeysEnabled) << "the switch is not touched";
}

TEST_F(SoftwareSetupTest, WithoutAFileTheDialogShowsTheRecordAndConfirmCreatesTheFile) {
  TFrmMain w(Services());
  std::filesystem::remove(std::filesystem::u8path(dir.File("Quorlin.qlset")));  // gone since the start
  dialog.user = [](SetupDialogState&) { return setup::kResultConfirm; };
  w.MnuSoftwareSetupClick();
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(dialog.shown.EditLoopNum, "0");
  EXPECT_EQ(dialog.shown.HotKeyStart, 0);
  EXPECT_EQ(dialog.shown.HotKeyStop, 0);
  EXPECT_EQ(dialog.shown.HotKeyRec, 0);
  for (int radio : {id::kIdRdLoopNum, id::kIdRdLoopKey, id::kIdRdLoopTime})
    EXPECT_FALSE(dialog.shown.Checked(radio)) << radio;
  TSettings expected = ConstructionSettings();
  expected.AutoFileName = "A(U())";
  EXPECT_EQ(w.Settings, expected);
  EXPECT_EQ(FileBytes(), FormatSettings(expected));
}

TEST_F(SoftwareSetupTest, AnUnwritableFileIsReportedAndTheSwitchStillFollows) {
  TFrmMain w(Services(dir.File("no such folder")));
  view.boxes.clear();
  dialog.user = [](SetupDialogState& d) {
    d.Check(id::kIdChkShortCut, true);
    d.EditSec = "$3C";
    return setup::kResultConfirm;
  };
  w.MnuSoftwareSetupClick();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "不能打开输出参数文件！");
  EXPECT_EQ(w.Settings.LoopSeconds, 60);
  EXPECT_TRUE(w.Settings.ShortCutControl);
  EXPECT_TRUE(w.Recorder().Keys().HotKeysEnabled);
  EXPECT_EQ(dir.FileCount(), 0u);
}

TEST_F(SoftwareSetupTest, ASecondOpeningWhileTheDialogIsOpenDoesNothing) {
  dir.Write("Quorlin.qlset", FormatSettings(OnDisk()));
  TFrmMain w(Services());
  dialog.user = [&](SetupDialogState& d) {
    d.EditLoopNum = "42";
    w.MnuSoftwareSetupClick();  // e.g. a menu command posted by another program
    return setup::kResultConfirm;
  };
  log.calls.clear();
  w.MnuSoftwareSetupClick();
  EXPECT_EQ(log.Count("setup:fill"), 1);
  EXPECT_EQ(log.Count("setup:show"), 1);
  EXPECT_EQ(w.Settings.LoopCount, 42);
}

// ---- the third page: script hot keys ----

TEST_F(SoftwareSetupTest, ConfirmWritesTheRowsBesideTheSettingsAndTheirKeysWorkAtOnce) {
  dir.Write("Quorlin.qlset", FormatSettings(OnDisk()));
  TFrmMain w(Services());
  dialog.user = [](SetupDialogState& d) {
    d.ScriptKeys[1] = {0x4000 | 0x74, "C:\\脚本\\daily.crec", "2"};  // a blank row above it
    return setup::kResultConfirm;
  };
  w.MnuSoftwareSetupClick();
  EXPECT_TRUE(view.boxes.empty());
  const setup::ScriptHotKey row{0x4000 | 0x74, "C:\\脚本\\daily.crec", 2};
  EXPECT_EQ(dir.Read(setup::kScriptHotKeysFileName), setup::FormatScriptHotKeys(std::span(&row, 1)));
  TSettings expected = OnDisk();
  expected.AutoFileName = "A(U(old.crec))";
  EXPECT_EQ(FileBytes(), FormatSettings(expected)) << "the settings file keeps its layout";

  KeyHookEvent ctrlF5;
  ctrlF5.message = 0x100;
  ctrlF5.vk = 0x74;
  ctrlF5.modifiers = ctrlF5.realModifiers = 0x4000;
  EXPECT_EQ(w.OnKeyEvent(ctrlF5), HotKeyCommand::ScriptKey);

  // The next opening shows the row where the file has it: first. Typing
  // its key into a box of the dialog plays nothing.
  dialog.user = [&](SetupDialogState&) {
    w.RunHotKey(w.OnKeyEvent(ctrlF5));
    return setup::kResultGiveUp;
  };
  w.MnuSoftwareSetupClick();
  EXPECT_EQ(dialog.shown.ScriptKeys[0], (setup::ScriptKeyBoxes{0x4000 | 0x74, "C:\\脚本\\daily.crec", "2"}));
  EXPECT_TRUE(dialog.shown.ScriptKeys[1].Blank());
  EXPECT_EQ(w.Playback().Player(), nullptr);
  EXPECT_TRUE(view.boxes.empty());
}

TEST_F(SoftwareSetupTest, ADamagedRowsFileKeepsWhatCanBeReadAndIsRewrittenOnlyWhenTheUserConfirms) {
  const std::string damaged = "# rows\r\nCtrl+F5\t1\ta.crec\r\nCtrl+Nothing\t1\tb.crec\r\nAlt+Q\t0\tc.crec\r\n"
                              "F7\t4\td.crec\r\n";
  dir.Write("Quorlin.qlset", FormatSettings(OnDisk()));
  dir.Write(setup::kScriptHotKeysFileName, damaged);
  TFrmMain w(Services());
  ASSERT_EQ(view.boxes.size(), 1u);
  const std::string& said = view.boxes[0].text;
  EXPECT_NE(said.find(dir.File(setup::kScriptHotKeysFileName)), std::string::npos) << said;
  EXPECT_NE(said.find("第 3 行"), std::string::npos) << said;
  EXPECT_NE(said.find("第 4 行"), std::string::npos) << said;
  EXPECT_EQ(said.find("第 2 行"), std::string::npos) << said;
  EXPECT_EQ(said.find("第 5 行"), std::string::npos) << said;

  // Opened and given up: the rows that could be read were shown, the file stays.
  view.boxes.clear();
  dialog.user = nullptr;
  w.MnuSoftwareSetupClick();
  EXPECT_EQ(view.boxes.size(), 1u) << "the opening says it again";
  EXPECT_EQ(dialog.shown.ScriptKeys[0].script, "a.crec");
  EXPECT_EQ(dialog.shown.ScriptKeys[1].script, "d.crec");
  EXPECT_EQ(dialog.shown.ScriptKeys[1].passes, "4");
  EXPECT_TRUE(dialog.shown.ScriptKeys[2].Blank());
  EXPECT_EQ(dir.Read(setup::kScriptHotKeysFileName), damaged);

  // Confirmed: the rows as shown replace the file.
  dialog.user = [](SetupDialogState&) { return setup::kResultConfirm; };
  w.MnuSoftwareSetupClick();
  const setup::ScriptHotKey rows[] = {{0x4000 | 0x74, "a.crec", 1}, {0x76, "d.crec", 4}};
  EXPECT_EQ(dir.Read(setup::kScriptHotKeysFileName), setup::FormatScriptHotKeys(rows));
}

}  // namespace
}  // namespace tesmuro
