#include "setup/script_hotkeys.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tesmuro::setup {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr uint16_t kShift = Shortcut::kShift, kCtrl = Shortcut::kCtrl, kAlt = Shortcut::kAlt;

TEST(ScriptHotKeysFile, TwelveRowsComeBackAsWritten) {
  const std::vector<ScriptHotKey> rows = {
      {kCtrl | 0x74, "每日/签到.crec", 1},                    // Ctrl+F5
      {kCtrl | kShift | 0x87, "/home/用户/脚本 一.crec", 3},  // Ctrl+Shift+F24
      {kAlt | 'Q', "q.crec", 2147483647},
      {kCtrl | kShift | kAlt | '7', "seven.crec", 7},
      {0x6B, "num plus.crec", 2},                 // Num+
      {kCtrl | 0xBD, "minus.crec", 1},            // Ctrl+-
      {kShift | 0xDC, "C:\\脚本\\反斜杠.crec", 4},  // Shift+backslash
      {0x60, "num0.crec", 1},
      {kAlt | 0x2E, "del.crec", 9},
      {kCtrl | 0xE9, "unnamed key.crec", 1},  // a key without a name
      {0x20, "space.crec", 10},
      {kShift | 0x26, "  leading spaces.crec", 5},
  };
  const std::string bytes = FormatScriptHotKeys(rows);
  EXPECT_TRUE(bytes.starts_with("#"));
  EXPECT_THAT(bytes, HasSubstr("\r\nCtrl+F5\t1\t每日/签到.crec\r\n"));
  EXPECT_THAT(bytes, HasSubstr("\r\nCtrl+Shift+F24\t3\t"));
  EXPECT_THAT(bytes, HasSubstr("\r\nCtrl+Shift+Alt+7\t7\t"));
  EXPECT_THAT(bytes, HasSubstr("\r\nCtrl+VKE9\t1\t"));
  EXPECT_EQ(bytes.find("\n\n"), std::string::npos);

  const ScriptHotKeyRows back = ParseScriptHotKeys(bytes);
  EXPECT_EQ(back.rows, rows);
  EXPECT_TRUE(back.problems.empty());

  // As an editor may leave it: a BOM, LF line ends, no line end at the end.
  std::string lf = "\xEF\xBB\xBF";
  for (char c : bytes)
    if (c != '\r') lf += c;
  lf.pop_back();
  EXPECT_EQ(ParseScriptHotKeys(lf).rows, rows);
}

TEST(ScriptHotKeysFile, DamagedLinesAreNamedAndTheRowsAroundThemKept) {
  std::string bytes = "# comment\r\n";
  bytes += "Ctrl+F1\t1\ta.crec\r\n";                       // 2
  bytes += "Ctrl+Banana\t1\tb.crec\r\n";                   // 3: no such key
  bytes += "Ctrl+F2\t0\tc.crec\r\n";                       // 4: no passes
  bytes += "Ctrl+F3\t2147483648\tc.crec\r\n";              // 5: too many
  bytes += "Ctrl+F4\tlots\tc.crec\r\n";                    // 6
  bytes += "Ctrl+F5\t1\r\n";                               // 7: missing field
  bytes += "\r\n";                                         // 8: blank
  bytes += "Ctrl+F6\t1\t" + std::string(5000, 'x') + "\r\n";  // 9: overlong
  bytes += std::string("\x00\x01\xFF\xFE junk", 10) + "\r\n";  // 10: binary junk
  bytes += "Ctrl+F7\t2\t\r\n";                             // 11: no script
  bytes += "control + f1\t1\tdup.crec\r\n";               // 12: duplicate of line 2
  for (int i = 0; i < 11; ++i)                             // 13..23: rows 2..12
    bytes += "Alt+" + std::string(1, static_cast<char>('A' + i)) + "\t1\t" + std::to_string(i) + ".crec\r\n";
  bytes += "Alt+Z\t1\tthirteenth.crec\r\n";  // 24: one row too many
  bytes += "Alt+F12\t1";                     // 25: cut off without a line end

  const ScriptHotKeyRows r = ParseScriptHotKeys(bytes);
  ASSERT_EQ(r.rows.size(), kMaxScriptHotKeys);
  EXPECT_EQ(r.rows.front(), (ScriptHotKey{kCtrl | 0x70, "a.crec", 1}));
  EXPECT_EQ(r.rows[1], (ScriptHotKey{kAlt | 'A', "0.crec", 1}));
  EXPECT_EQ(r.rows.back(), (ScriptHotKey{kAlt | 'K', "10.crec", 1}));
  EXPECT_THAT(r.problems,
              ElementsAre(HasSubstr("第 3 行：热键“Ctrl+Banana”"), HasSubstr("第 4 行：遍数“0”"),
                          HasSubstr("第 5 行：遍数“2147483648”"), HasSubstr("第 6 行：遍数“lots”"),
                          HasSubstr("第 7 行"), HasSubstr("第 9 行：这一行太长"), HasSubstr("第 10 行：含有"),
                          HasSubstr("第 11 行：没有脚本文件"), HasSubstr("第 12 行：热键 Ctrl+F1 与第 2 行相同"),
                          HasSubstr("第 24 行：热键最多 12 行"), HasSubstr("第 25 行")));
}

TEST(ScriptHotKeysFile, WhatTheWriterWritesTheReaderReadsAtTheLimits) {
  const HotKeys hot{};
  // The longest name the dialog takes, ending in a character of three bytes.
  std::string longest(kMaxScriptPathBytes - 3, 'p');
  longest += "本";
  // Read with a short spelling ("Ins"), written with the long one ("Insert"), read again.
  const std::string typed = "Ctrl+Shift+Alt+Ins\t2147483647\t" + longest + "\r\n";
  ScriptHotKeyRows r = ParseScriptHotKeys(typed);
  ASSERT_EQ(r.rows.size(), 1u) << (r.problems.empty() ? "" : r.problems[0]);
  EXPECT_EQ(ScriptHotKeyProblem(r.rows, 0, hot), "");
  const std::vector<ScriptHotKey> written = {r.rows[0], {kCtrl | kShift | kAlt | 0x2C, longest, 1}};
  r = ParseScriptHotKeys(FormatScriptHotKeys(written));
  EXPECT_EQ(r.rows, written);
  EXPECT_TRUE(r.problems.empty());

  // One byte more: the dialog refuses the row, and the reader skips such a line, saying why.
  const std::vector<ScriptHotKey> tooLong = {{kCtrl | 'A', longest + "x", 1}};
  EXPECT_THAT(ScriptHotKeyProblem(tooLong, 0, hot), HasSubstr("脚本文件名太长"));
  r = ParseScriptHotKeys("A\t1\t" + longest + "x\r\n");
  EXPECT_TRUE(r.rows.empty());
  EXPECT_THAT(r.problems, ElementsAre(HasSubstr("第 1 行：脚本文件名太长")));
}

TEST(ScriptHotKeysFile, ProblemsOfARowNameTheClash) {
  const HotKeys hot{.record = kCtrl | 'R', .play = kCtrl | 0x74, .stop = 0x7B, .enabled = false};
  const std::vector<ScriptHotKey> rows = {
      {kCtrl | 0x75, "ok.crec", 1},
      {kCtrl | 0x74, "x.crec", 1},           // the Play key
      {kCtrl | 'R', "x.crec", 1},            // the Record key
      {0x7B | 0x0800, "x.crec", 1},          // the Stop key, with the extended bit
      {0x13, "x.crec", 1},                   // Pause
      {kCtrl | 0x03, "x.crec", 1},           // Ctrl+Pause comes as Cancel
      {kCtrl | 0x75, "x.crec", 1},           // row 1's key
      {0, "x.crec", 1},                      // no key
      {kShift | 0x75, "", 1},                // no script
      {kShift | 0x76, "x.crec", 0},          // no passes
      {kShift | 0x77, "a\nb.crec", 1},       // a line break in the name
      {0x7B | kShift, "x.crec", 1},          // not the Stop key: other modifiers
  };
  std::vector<std::string> why;
  for (size_t i = 0; i < rows.size(); ++i) why.push_back(ScriptHotKeyProblem(rows, i, hot));
  EXPECT_THAT(why, ElementsAre("", "与开始播放键相同", "与开始录制键相同", "与停止键相同", HasSubstr("紧急停止"),
                               HasSubstr("紧急停止"), "与第 1 行的热键相同", "没有热键", "没有脚本文件",
                               HasSubstr("遍数"), HasSubstr("换行"), ""));
}

}  // namespace
}  // namespace tesmuro::setup
