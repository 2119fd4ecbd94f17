// The script box on the real editing component (Windows build only, run
// under Wine): bytes in and out, the step count, appended lines, text set
// from outside and the characters GBK cannot hold.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Scintilla.h"
#include "editor/script_box_win.h"

namespace tesmuro::editor {
namespace {

void Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

class ScriptBoxTest : public ::testing::Test {
 protected:
  ScriptBoxTest() {
    top_ = CreateWindowExW(0, L"STATIC", L"box test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 400, nullptr,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
    box_ = std::make_unique<ScriptBox>(top_, 100);
    MoveWindow(box_->Handle(), 0, 0, 680, 340, TRUE);
  }
  ~ScriptBoxTest() override {
    box_.reset();
    DestroyWindow(top_);
  }
  HWND top_ = nullptr;
  std::unique_ptr<ScriptBox> box_;
};

TEST_F(ScriptBoxTest, BytesGoInAndComeOutUnchangedWhateverTheyAre) {
  ASSERT_TRUE(box_->Created());
  // GBK, a NUL, bytes that are no GBK, a cut-off character at the end.
  const std::string bytes("\xD1\xD3\xB3\xD9 5\r\nab\0cd \xFF\xFE\x80\r\n\xD7\xF3\xBC\xFC\r\n\xD1", 27);
  ASSERT_TRUE(box_->SetText(bytes));
  int lost = -1;
  EXPECT_EQ(box_->Text(&lost), bytes);
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(box_->Length(), 27);
  // The window text is UTF-16, as another program reads it.
  ASSERT_TRUE(box_->SetText("\xD1\xD3\xB3\xD9 5\r\n"));
  wchar_t w[32] = {};
  GetWindowTextW(box_->Handle(), w, 32);
  EXPECT_STREQ(w, L"\u5EF6\u8FDF 5\r\n");
}

TEST_F(ScriptBoxTest, StepsCountRowsNotTheEmptyRowAfterTheLastLineEnd) {
  ASSERT_TRUE(box_->SetText(""));
  EXPECT_EQ(box_->StepCount(), 0);
  ASSERT_TRUE(box_->SetText("a\r\nb\r\n"));
  EXPECT_EQ(box_->StepCount(), 2);
  ASSERT_TRUE(box_->SetText("a\r\nb"));
  EXPECT_EQ(box_->StepCount(), 2);
  // A line far wider than the box fills several rows once it is wrapped.
  ASSERT_TRUE(box_->SetText(std::string(400, 'x') + " " + std::string(400, 'y') + "\r\n"));
  for (int i = 0; i < 50; ++i) Pump(), Sleep(5);
  EXPECT_GT(box_->StepCount(), 1);
}

TEST_F(ScriptBoxTest, AppendedLinesCountAtOnceAndATypedLastLineGetsItsEndFirst) {
  ASSERT_TRUE(box_->SetText("typed"));
  box_->AppendLine("\xD7\xF3\xBC\xFC\xB0\xB4\xCF\xC2");  // 左键按下
  box_->AppendLine("x");
  EXPECT_EQ(box_->StepCount(), 3) << "waiting lines count before they are in";
  EXPECT_EQ(box_->Text(), "typed\r\n\xD7\xF3\xBC\xFC\xB0\xB4\xCF\xC2\r\nx\r\n");
  EXPECT_EQ(box_->StepCount(), 3);
}

TEST_F(ScriptBoxTest, TextSetFromOutsideKeepsCountOfWhatGbkCannotHold) {
  // UTF-16 in, GBK kept; what GBK cannot hold becomes a marked '?'.
  SetWindowTextW(box_->Handle(), L"\uD55C a \U0001F600 \u5EF6");
  int lost = -1;
  EXPECT_EQ(box_->Text(&lost), "? a ? \xD1\xD3");
  EXPECT_EQ(lost, 2);
  // Deleting one of them takes its mark along.
  SendMessageW(box_->Handle(), 2160 /*SCI_SETSEL*/, 0, 1);
  SendMessageW(box_->Handle(), WM_CLEAR, 0, 0);
  EXPECT_EQ(box_->Text(&lost), " a ? \xD1\xD3");
  EXPECT_EQ(lost, 1);
  // A '?' typed as itself is no lost character.
  SetWindowTextW(box_->Handle(), L"? \u5EF6");
  box_->Text(&lost);
  EXPECT_EQ(lost, 0);
}

TEST_F(ScriptBoxTest, ALoadedTextIsTheScriptsAsTypingGoesOn) {
  // The loaded text comes in a document of its own: it must be the
  // script's like the first one (code page, line ends, undo, tabs).
  ASSERT_TRUE(box_->SetText("\xD1\xD3\xB3\xD9 5\r\n"));
  HWND h = box_->Handle();
  EXPECT_EQ(SendMessageW(h, SCI_GETCODEPAGE, 0, 0), 936);
  EXPECT_EQ(SendMessageW(h, SCI_GETEOLMODE, 0, 0), SC_EOL_CRLF);
  EXPECT_EQ(SendMessageW(h, SCI_GETTABWIDTH, 0, 0), 8);
  EXPECT_FALSE(box_->CanUndo()) << "the load is no step to undo";
  SendMessageW(h, SCI_DOCUMENTEND, 0, 0);
  SendMessageW(h, WM_CHAR, 0x5EF6, 0);  // 延, typed
  SendMessageW(h, SCI_NEWLINE, 0, 0);
  EXPECT_EQ(box_->Text(), "\xD1\xD3\xB3\xD9 5\r\n\xD1\xD3\r\n");
  ASSERT_TRUE(box_->CanUndo());
  box_->Undo();
  box_->Undo();
  EXPECT_EQ(box_->Text(), "\xD1\xD3\xB3\xD9 5\r\n");
  EXPECT_EQ(box_->StepCount(), 1);
}

TEST_F(ScriptBoxTest, ATextTooBigForMemoryLeavesTheOldOne) {
  // 256 MB of line ends: the check of room for the text and its styles
  // passes, the lines' records (four bytes each) do not fit.
  ASSERT_TRUE(box_->SetText("old\r\nlines\r\n"));
  box_->AppendLine("x");
  std::string big;
  try {
    big.assign(256u << 20, '\n');
  } catch (const std::bad_alloc&) {
    GTEST_SKIP() << "no room for the test's own text";
  }
  EXPECT_FALSE(box_->SetText(big));
  big = std::string();
  EXPECT_EQ(box_->Text(), "old\r\nlines\r\nx\r\n");
  EXPECT_EQ(box_->StepCount(), 3);
  // The box goes on as before.
  ASSERT_TRUE(box_->SetText("new\r\n"));
  EXPECT_EQ(box_->Text(), "new\r\n");
}

TEST_F(ScriptBoxTest, RecordedLinesAreNoStepToUndo) {
  ASSERT_TRUE(box_->SetText(""));
  HWND h = box_->Handle();
  SendMessageW(h, WM_CHAR, 'a', 0);
  box_->AppendLine("b");
  box_->AppendLine("c");
  EXPECT_EQ(box_->Text(), "a\r\nb\r\nc\r\n");
  box_->Undo();
  EXPECT_EQ(box_->Text(), "a\r\nb\r\nc\r\n") << "undo takes no recorded lines away";
  // What the user does after them is undone and redone as ever.
  SendMessageW(h, SCI_DOCUMENTEND, 0, 0);
  SendMessageW(h, WM_CHAR, 'd', 0);
  ASSERT_TRUE(box_->CanUndo());
  box_->Undo();
  EXPECT_EQ(box_->Text(), "a\r\nb\r\nc\r\n");
  box_->Redo();
  EXPECT_EQ(box_->Text(), "a\r\nb\r\nc\r\nd");
}

TEST_F(ScriptBoxTest, ReplacedTextIsOneStepToUndoAndTheCaretStaysOnItsLine) {
  // Lines 10 to 59 of 100 go, and line 60 changes.
  std::string before, after;
  for (int i = 0; i < 100; ++i) {
    const std::string line = "line " + std::to_string(i) + "\r\n";
    before += line;
    if (i == 60) after += "LINE 60\r\n";
    else if (i < 10 || i > 60) after += line;
  }
  ASSERT_TRUE(box_->SetText(before));
  HWND h = box_->Handle();
  const auto lineStart = [h](int line) { return SendMessageW(h, SCI_POSITIONFROMLINE, line, 0); };
  SendMessageW(h, SCI_GOTOPOS, lineStart(80) + 3, 0);
  box_->ReplaceText(after);
  EXPECT_EQ(box_->Text(), after);
  EXPECT_EQ(SendMessageW(h, SCI_GETCURRENTPOS, 0, 0), lineStart(30) + 3) << "line 80 is the 31st now";
  box_->Undo();
  EXPECT_EQ(box_->Text(), before);
  EXPECT_FALSE(box_->CanUndo()) << "one step took the whole change back";
  box_->Redo();
  EXPECT_EQ(box_->Text(), after);
  // A caret inside the change goes to the start of a line of what replaced it.
  box_->Undo();
  SendMessageW(h, SCI_GOTOPOS, lineStart(35) + 2, 0);
  box_->ReplaceText(after);
  EXPECT_EQ(SendMessageW(h, SCI_GETCURRENTPOS, 0, 0), lineStart(10));
  // The same text again is no change and no step.
  box_->Undo();
  box_->ReplaceText(before);
  EXPECT_FALSE(box_->CanUndo());
}

TEST_F(ScriptBoxTest, BreakpointsAreTheBoxsNotTheTextsAndNameTheirLines) {
  const std::string text = "\xD7\xF3\xBC\xFC\xB0\xB4\xCF\xC2\r\nab\r\n\r\ncd";  // 左键按下 / ab / (empty) / cd
  ASSERT_TRUE(box_->SetText(text));
  box_->ToggleBreakpoint(1);
  box_->ToggleBreakpoint(3);
  box_->ToggleBreakpoint(0);
  box_->ToggleBreakpoint(0);  // set and cleared again
  box_->ToggleBreakpoint(9);  // no such line
  EXPECT_EQ(box_->Breakpoints(), (std::vector<play::LineSpan>{{10, 14, 2}, {16, 18, 4}}));
  EXPECT_EQ(box_->Text(), text) << "the text stays byte for byte";
  // The caret's line on; a selection's lines (one that ends at a line's start leaves that line out).
  SendMessageW(box_->Handle(), SCI_SETSEL, 11, 11);
  EXPECT_EQ(box_->CaretLines(false), (play::LineSpan{10, -1, 2}));
  SendMessageW(box_->Handle(), SCI_SETSEL, 3, 16);
  EXPECT_EQ(box_->CaretLines(true), (play::LineSpan{0, 16, 1}));
  SendMessageW(box_->Handle(), SCI_SETSEL, 12, 18);
  EXPECT_EQ(box_->CaretLines(true), (play::LineSpan{10, 18, 2}));
  // A new text comes without breakpoints.
  ASSERT_TRUE(box_->SetText(text));
  EXPECT_TRUE(box_->Breakpoints().empty());
}

// The box's notifications (styling, margin clicks) reach it through its parent, as in the main window.
LRESULT CALLBACK HandNotifications(HWND h, UINT msg, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR box) {
  if (msg == WM_NOTIFY && reinterpret_cast<ScriptBox*>(box)->OnNotify(l)) return 0;
  return DefSubclassProc(h, msg, w, l);
}

TEST_F(ScriptBoxTest, FoldLevelsComeWithTheLinesShownAndAStretchFoldsAwayWithoutChangingTheText) {
  SetWindowSubclass(top_, &HandNotifications, 1, reinterpret_cast<DWORD_PTR>(box_.get()));
  // 左键按下, then 3,000 lines of moves and delays, then 左键释放.
  std::string text = "\xD7\xF3\xBC\xFC\xB0\xB4\xCF\xC2\r\n";
  for (int i = 0; i < 1500; ++i) text += "\xD2\xC6\xB6\xAF 1,1\r\n\xD1\xD3\xB3\xD9 8\r\n";
  text += "\xD7\xF3\xBC\xFC\xCA\xCD\xB7\xC5\r\n";
  ASSERT_TRUE(box_->SetText(text));
  auto level = [&](int line) { return static_cast<int>(SendMessageW(box_->Handle(), SCI_GETFOLDLEVEL, line, 0)); };
  // Loading works out no levels; showing the lines (and wrapping them, in the background) does.
  EXPECT_EQ(level(1), SC_FOLDLEVELBASE);
  UpdateWindow(box_->Handle());
  Pump();
  EXPECT_TRUE(level(1) & SC_FOLDLEVELHEADERFLAG) << "the first move opens the stretch";
  EXPECT_EQ(level(2) & SC_FOLDLEVELNUMBERMASK, SC_FOLDLEVELBASE + 1);
  SendMessageW(box_->Handle(), SCI_FOLDLINE, 1, SC_FOLDACTION_CONTRACT);
  EXPECT_FALSE(SendMessageW(box_->Handle(), SCI_GETLINEVISIBLE, 2000, 0));
  EXPECT_TRUE(SendMessageW(box_->Handle(), SCI_GETLINEVISIBLE, 3001, 0)) << "the line after the stretch shows";
  EXPECT_EQ(box_->Text(), text);
  // An edit above it leaves it folded.
  SendMessageW(box_->Handle(), SCI_INSERTTEXT, 0, reinterpret_cast<LPARAM>("y"));
  UpdateWindow(box_->Handle());
  Pump();
  EXPECT_FALSE(SendMessageW(box_->Handle(), SCI_GETLINEVISIBLE, 2000, 0));
  // Typed away, the stretch's first move no longer opens it: the lines show again.
  SendMessageW(box_->Handle(), SCI_SETSEL, 11, 13);
  SendMessageW(box_->Handle(), SCI_REPLACESEL, 0, reinterpret_cast<LPARAM>("x"));
  UpdateWindow(box_->Handle());
  Pump();
  EXPECT_TRUE(SendMessageW(box_->Handle(), SCI_GETLINEVISIBLE, 2000, 0));
  RemoveWindowSubclass(top_, &HandNotifications, 1);
}

TEST_F(ScriptBoxTest, TheLineARunStoppedOnStaysMarkedUntilTheNextEdit) {
  SetWindowSubclass(top_, &HandNotifications, 1, reinterpret_cast<DWORD_PTR>(box_.get()));
  ASSERT_TRUE(box_->SetText("a\r\nb\r\nc\r\n"));
  box_->FollowPlayback([] { return std::optional<int64_t>(3); });  // a run stopped on line 2
  EXPECT_EQ(box_->MarkedLine(), 1);
  for (int i = 0; i < 5; ++i) Pump(), Sleep(20);
  EXPECT_EQ(box_->MarkedLine(), 1) << "kept while nothing changes";
  SendMessageW(box_->Handle(), SCI_INSERTTEXT, 0, reinterpret_cast<LPARAM>("x"));
  EXPECT_EQ(box_->MarkedLine(), -1);
  for (int i = 0; i < 5; ++i) Pump(), Sleep(20);
  EXPECT_EQ(box_->MarkedLine(), -1) << "and not marked again";
  RemoveWindowSubclass(top_, &HandNotifications, 1);
}

TEST(ScriptBytes, WhatGbkCannotHoldBecomesAQuestionMarkAtAKnownOffset) {
  std::vector<size_t> lost;
  EXPECT_EQ(ToScriptBytes(L"\u5EF6\u8FDF 5", lost), "\xD1\xD3\xB3\xD9 5");
  EXPECT_TRUE(lost.empty());
  EXPECT_EQ(ToScriptBytes(L"\u5EF6\uD55Cb\U0001F600c\xD800", lost), "\xD1\xD3?b?c?");
  EXPECT_EQ(lost, (std::vector<size_t>{2, 4, 6}));
  lost.clear();
  EXPECT_EQ(ToScriptBytes(L"", lost), "");
  EXPECT_TRUE(lost.empty());
}

}  // namespace
}  // namespace tesmuro::editor
#endif
