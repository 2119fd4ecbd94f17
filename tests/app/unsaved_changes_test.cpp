// Unsaved script text is never thrown away without asking, a failed load
// changes nothing, and a recording survives the program's sudden end through
// the recovery journal.
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "support/main_window_fixture.h"

namespace tesmuro {
namespace {

constexpr char kAskSave[] = "动作记录已修改，是否保存修改？";

class UnsavedChangesTest : public test::MainWindowFixture {
 protected:
  UnsavedChangesTest() { dir.Write("Quorlin.qlset", FormatSettings(ConstructionSettings())); }
  TFrmMain& Window() {
    if (!w) w = std::make_unique<TFrmMain>(Services());
    return *w;
  }
  // One key press and release while recording: four lines.
  void PressKey(uint32_t vk) {
    KeyHookEvent e;
    e.message = 0x0100;
    e.vk = vk;
    e.tick = clock.now;
    Window().OnKeyEvent(e);
    e.message = 0x0101;
    Window().OnKeyEvent(e);
  }
  int Asked() const {
    int n = 0;
    for (auto& b : view.boxes) n += b.text == kAskSave;
    return n;
  }
  std::unique_ptr<TFrmMain> w;
};

TEST_F(UnsavedChangesTest, TextThatNeverChangedAsksNothing) {
  TFrmMain& m = Window();
  dir.Write("a.crec", "x\r\n");
  view.dialogAnswers = {dir.File("a.crec")};
  m.SBLoadClick();
  EXPECT_TRUE(m.FormCloseQuery());
  EXPECT_TRUE(m.FormCloseQuery());
  m.BitBtnClearClick();
  EXPECT_EQ(view.memo, "");
  EXPECT_TRUE(view.boxes.empty());
}

TEST_F(UnsavedChangesTest, CancelKeepsEverythingAtCloseLoadClearAndSessionEnd) {
  TFrmMain& m = Window();
  m.Document().FileName = dir.File("kept.crec");
  view.memo = "typed\r\n";
  m.Document().ChangedByUser();
  view.boxAnswers = {kIdCancel, kIdCancel, kIdCancel, kIdCancel};
  EXPECT_FALSE(m.FormCloseQuery());
  EXPECT_FALSE(m.FormCloseQuery());
  m.SBLoadClick();
  m.BitBtnClearClick();
  EXPECT_EQ(Asked(), 4);
  EXPECT_EQ(view.boxes[0].caption, "系统提示");
  EXPECT_EQ(view.boxes[0].style, kMbYesNoCancel | kMbIconWarning);
  EXPECT_EQ(log.Count("dialog:0"), 0) << "Load asks before its file dialog";
  EXPECT_EQ(view.memo, "typed\r\n");
  EXPECT_EQ(m.Document().FileName, dir.File("kept.crec"));
  EXPECT_TRUE(m.Document().Modified());
  EXPECT_EQ(dir.FileCount(), 1u) << "nothing was written";
}

TEST_F(UnsavedChangesTest, YesSavesToTheScriptsFileOrAsksForOne) {
  TFrmMain& m = Window();
  view.memo = "one\r\n";
  m.Document().ChangedByUser();
  view.boxAnswers = {kIdYes};
  view.dialogAnswers = {std::nullopt};  // the user gives up in the Save dialog
  EXPECT_FALSE(m.FormCloseQuery()) << "closing goes on only once the text is safe";
  EXPECT_TRUE(m.Document().Modified());

  view.boxAnswers = {kIdYes};
  view.dialogAnswers = {dir.File("new.crec")};
  EXPECT_TRUE(m.FormCloseQuery());
  EXPECT_EQ(dir.Read("new.crec"), "one\r\n");
  EXPECT_FALSE(m.Document().Modified());

  view.memo = "two\r\n";
  m.Document().ChangedByUser();
  view.boxAnswers = {kIdYes};
  EXPECT_TRUE(m.FormCloseQuery());
  EXPECT_EQ(dir.Read("new.crec"), "two\r\n");
  EXPECT_EQ(log.Count("dialog:1"), 2) << "a named script is saved without a dialog";
}

TEST_F(UnsavedChangesTest, NoDiscardsAndTheCommandGoesOn) {
  TFrmMain& m = Window();
  dir.Write("b.crec", "loaded\r\n");
  view.memo = "typed\r\n";
  m.Document().ChangedByUser();
  view.boxAnswers = {kIdNo};
  view.dialogAnswers = {dir.File("b.crec")};
  m.SBLoadClick();
  EXPECT_EQ(view.memo, "loaded\r\n");
  EXPECT_FALSE(m.Document().Modified());
  EXPECT_TRUE(m.FormCloseQuery());
  EXPECT_EQ(Asked(), 1);
}

TEST_F(UnsavedChangesTest, NewKeepsItsOwnQuestion) {
  TFrmMain& m = Window();
  view.memo = "typed\r\n";
  m.Document().ChangedByUser();
  m.SBNewClick();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "是否放弃当前文件，新建新的记录文件？");
  EXPECT_FALSE(m.Document().Modified());
  EXPECT_TRUE(m.FormCloseQuery());
}

TEST_F(UnsavedChangesTest, RecordingMakesTheTextUnsavedUntilSaved) {
  TFrmMain& m = Window();
  m.SBRecordClick();
  PressKey(65);
  m.SBStopClick();
  EXPECT_TRUE(m.Document().Modified());
  view.dialogAnswers = {dir.File("r.crec")};
  m.SBSaveClick();
  EXPECT_FALSE(m.Document().Modified());
  EXPECT_TRUE(m.FormCloseQuery());
  EXPECT_TRUE(view.boxes.empty());
}

TEST_F(UnsavedChangesTest, AFailedLoadChangesNothing) {
  TFrmMain& m = Window();
  dir.Write("big.crec", "a\r\nb\r\n");
  dir.Write("old.crec", "old\r\n");
  view.dialogAnswers = {dir.File("old.crec")};
  m.SBLoadClick();
  view.memoRefusesText = true;  // the text box cannot take it (out of memory)
  view.dialogAnswers = {dir.File("big.crec")};
  m.SBLoadClick();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "内存不足，不能载入文件：\n" + dir.File("big.crec"));
  EXPECT_EQ(view.boxes[0].style, kMbOk | kMbIconError);
  EXPECT_EQ(view.memo, "old\r\n");
  EXPECT_EQ(m.Document().FileName, dir.File("old.crec"));
  EXPECT_EQ(view.caption, "Tesmuro - " + dir.File("old.crec"));

  view.memoRefusesText = false;
  view.memo = "edited\r\n";
  m.Document().ChangedByUser();
  m.SBSaveClick();
  EXPECT_EQ(dir.Read("old.crec"), "edited\r\n") << "Save writes where the caption says";
}

TEST_F(UnsavedChangesTest, CharactersGbkCannotHoldAreNamedBeforeSave) {
  TFrmMain& m = Window();
  dir.Write("c.crec", "before\r\n");
  m.Document().FileName = dir.File("c.crec");
  view.memo = "a?b\r\n";
  view.unencodable = 1;
  view.boxAnswers = {kIdCancel};
  m.SBSaveClick();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text,
            "动作记录中有 1 个字符不能用 GBK 编码保存，保存后它们将变成“?”。\n仍然保存吗？");
  EXPECT_EQ(view.boxes[0].style, kMbOkCancel | kMbIconWarning);
  EXPECT_EQ(dir.Read("c.crec"), "before\r\n");

  view.boxAnswers = {kIdOk};
  m.SBSaveClick();
  EXPECT_EQ(dir.Read("c.crec"), "a?b\r\n");
}

TEST_F(UnsavedChangesTest, RecordingGoesToTheJournalInBatchesUntilSaved) {
  TFrmMain& m = Window();
  view.memo = "before\r\n";
  m.SBRecordClick();
  EXPECT_TRUE(recovery.exists);
  EXPECT_EQ(recovery.file, "before\r\n");
  const int startWrites = recovery.writes;
  for (uint32_t vk = 65; vk < 75; ++vk) PressKey(vk);
  EXPECT_EQ(recovery.writes, startWrites) << "lines are batched, not written one by one";
  m.Document().OnTimer();
  EXPECT_EQ(recovery.writes, startWrites) << "not yet due";
  clock.now += RecoveryJournal::kFlushIntervalMs;
  m.Document().OnTimer();
  EXPECT_EQ(recovery.file, view.memo) << "the journal holds the whole script";
  PressKey(90);
  m.SBStopClick();
  EXPECT_EQ(recovery.file, view.memo) << "Stop writes the rest";

  m.FormClose();  // ended without asking (the session ended): the journal stays
  EXPECT_TRUE(recovery.exists);
  view.dialogAnswers = {dir.File("saved.crec")};
  m.SBSaveClick();
  EXPECT_FALSE(recovery.exists);
}

TEST_F(UnsavedChangesTest, SaveWhileRecordingKeepsTheJournalGoing) {
  TFrmMain& m = Window();
  m.SBRecordClick();
  PressKey(65);
  view.dialogAnswers = {dir.File("mid.crec")};
  m.SBSaveClick();
  PressKey(66);
  m.SBStopClick();
  EXPECT_TRUE(recovery.exists);
  EXPECT_EQ(recovery.file, view.memo);
  EXPECT_TRUE(m.Document().Modified());
}

TEST_F(UnsavedChangesTest, DiscardingOrAPlainCloseRemovesTheJournal) {
  TFrmMain& m = Window();
  m.SBRecordClick();
  PressKey(65);
  m.SBStopClick();
  view.boxAnswers = {kIdNo};
  EXPECT_TRUE(m.FormCloseQuery());
  EXPECT_FALSE(recovery.exists);

  m.SBRecordClick();
  PressKey(66);
  m.SBStopClick();
  view.boxAnswers = {kIdOk};  // New's question
  m.SBNewClick();
  EXPECT_FALSE(recovery.exists);
}

TEST_F(UnsavedChangesTest, ALeftOverRecordingIsOfferedOnce) {
  recovery.leftOver = std::string("延迟 5\r\n左键按下\r\n");
  TFrmMain& m = Window();
  view.boxAnswers = {kIdYes};
  m.FormShow();
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].style, kMbYesNo | kMbIconInformation);
  EXPECT_EQ(view.memo, "延迟 5\r\n左键按下\r\n");
  EXPECT_TRUE(m.Document().FileName.empty());
  EXPECT_TRUE(m.Document().Modified()) << "the recovered script is unsaved";
  EXPECT_TRUE(recovery.exists) << "and stays safe until it is saved";

  recovery.leftOver = std::string("again\r\n");
  m.FormShow();  // the main window shown again (back from the mini window)
  EXPECT_EQ(view.boxes.size(), 1u);
}

TEST_F(UnsavedChangesTest, ALeftOverRecordingCanBeDeclined) {
  recovery.leftOver = std::string("x\r\n");
  TFrmMain& m = Window();
  view.boxAnswers = {kIdNo};
  m.FormShow();
  EXPECT_EQ(view.memo, "");
  EXPECT_FALSE(m.Document().Modified());
  EXPECT_FALSE(recovery.leftOver.has_value());
}

TEST(RecoveryJournal, FailedWritesArePendingButBounded) {
  test::FakeRecoveryStore store;
  RecoveryJournal j(&store);
  j.Begin("", 0);
  store.failWrites = true;
  const std::string line(1000, 'x');
  for (int i = 0; i < 100; ++i) j.AddLine(line, 0);
  j.Flush(0);
  EXPECT_TRUE(j.Active());
  store.failWrites = false;
  j.Flush(1);
  EXPECT_EQ(store.file.size(), 100u * 1002u) << "nothing lost once the disk takes it again";

  store.failWrites = true;
  for (size_t i = 0; i <= RecoveryJournal::kMaxPendingBytes / 1002; ++i) j.AddLine(line, 0);
  j.Flush(0);
  EXPECT_FALSE(j.Active()) << "the journal gives up instead of growing without bound";
}

TEST_F(UnsavedChangesTest, RunAsAdministratorAsksFirstThenRestartsWithTheSameScript) {
  TFrmMain& m = Window();
  m.Document().FileName = dir.File("a b.crec");
  dir.Write("a b.crec", "old\r\n");
  m.SBRecordClick();
  PressKey(65);
  m.SBStopClick();
  // Cancel: nothing happens.
  view.boxAnswers = {kIdCancel};
  m.MnuRunAsAdminClick();
  EXPECT_TRUE(view.shellCalls.empty());
  EXPECT_EQ(log.Count("close"), 0);
  // Refused by the user at the system's prompt: this copy goes on, still unsaved.
  view.boxAnswers = {kIdYes};
  view.shellRefuses = true;
  m.MnuRunAsAdminClick();
  EXPECT_EQ(dir.Read("a b.crec"), view.memo) << "saved by Yes";
  ASSERT_EQ(view.shellCalls.size(), 1u);
  EXPECT_EQ(view.shellCalls[0].verb, "runas");
  EXPECT_EQ(view.shellCalls[0].file, "C:\\Tesmuro\\Tesmuro.exe");
  EXPECT_EQ(view.shellCalls[0].parameters, "\"" + dir.File("a b.crec") + "\"");
  EXPECT_EQ(log.Count("close"), 0);
  // Accepted: the window closes without asking again.
  view.shellRefuses = false;
  m.SBRecordClick();
  PressKey(66);
  m.SBStopClick();
  view.boxes.clear();
  view.boxAnswers = {kIdNo};
  m.MnuRunAsAdminClick();
  EXPECT_EQ(Asked(), 1);
  EXPECT_EQ(log.Count("close"), 1);
  EXPECT_TRUE(m.FormCloseQuery());
  EXPECT_EQ(Asked(), 1);
}

}  // namespace
}  // namespace tesmuro
