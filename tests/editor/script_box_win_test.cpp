// The script box on the real editing component (Windows build only, run
// under Wine): bytes in and out, the step count, appended lines, text set
// from outside and the characters GBK cannot hold.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <new>
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
