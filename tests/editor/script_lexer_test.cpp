// The script box's colours against what the player's reader does with a line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/script_lexer.h"
#include "script/control_table.h"
#include "script/script_format.h"

namespace tesmuro::editor {
namespace {

// One letter per byte: ' ' default, K keyword, N number, S skipped, E error.
std::string Styles(const std::string& line) {
  std::vector<ScriptStyle> s(line.size(), static_cast<ScriptStyle>(99));
  StyleScriptLine(line, s.data());
  std::string out;
  for (ScriptStyle v : s) out += " KNSEC?"[std::min<int>(static_cast<int>(v), 6)];
  return out;
}

std::string Kw(std::string_view k) { return std::string(k); }
std::string Rep(char c, size_t n) { return std::string(n, c); }

TEST(ScriptLexer, RecordedLinesShowKeywordAndNumbers) {
  EXPECT_EQ(Styles(script::DelayLine(900) + "\r\n"), "KKKK NNN  ");
  EXPECT_EQ(Styles(script::MoveLine(-640, 480)), "KKKK NNNN NNN");
  EXPECT_EQ(Styles(script::MouseButtonLine(script::ButtonLine::LeftDown)), Rep('K', 8));
  // Key lines: every argument is a number.
  const std::string key = script::KeyLine(script::KeyLineKind::Down, 65, 30, 0, 123, 0);
  const std::string styles = Styles(key);
  EXPECT_EQ(styles.substr(0, 8), Rep('K', 8));
  EXPECT_EQ(styles.find_first_of("SE?"), std::string::npos) << styles;
  EXPECT_EQ(Styles(script::WheelLine(-120, 0, 0)).find_first_of("SE?"), std::string::npos);
}

TEST(ScriptLexer, WordsTheNewerRecordersWriteAreKeywords) {
  for (const std::string& line :
       {script::HWheelLine(120, 0, 0), script::RelMoveLine(-3, 4), script::ScreenLine(0, 0, 1920, 1080, 96),
        script::MouseButtonLine(script::ButtonLine::X1Down), script::MouseButtonLine(script::ButtonLine::X2Up),
        script::WindowLine("win", "a.exe", "A", "左键按下 1", 1, 2, 3, 4),
        Kw(script::kKeywordWaitWindow) + " \"x\" 5", Kw(script::kKeywordWaitColor) + " 1,2 FF00aa 0 3",
        Kw(script::kKeywordWaitImage) + " \"a\\sb.png\" 8 5 -1,2,30,40", Kw(script::kKeywordClickImage) + " \"a.png\" 0 5",
        Kw(script::kKeywordRandomDelay) + " 10,20", Kw(script::kKeywordTypeText) + " \"a\\s\\u{1F600}\" 50",
        Kw(script::kKeywordWaitKey) + " Ctrl+Enter 5"}) {
    const std::string s = Styles(line);
    EXPECT_EQ(s[0], 'K') << line;
    EXPECT_EQ(s.find_first_of("SE?"), std::string::npos) << line << " -> " << s;
  }
}

TEST(ScriptLexer, ControlWordsHaveTheirOwnColourTheirArgumentsAreReadAsThePlayerReadsThem) {
  const std::string wait = Kw(script::kKeywordWaitWindow) + " \"x\" 5";
  EXPECT_EQ(Styles(Kw(script::kWordIf) + " " + wait), "CCCC KKKK" + Rep('K', 4) + "     N");
  EXPECT_EQ(Styles(Kw(script::kWordRepeat) + " 10"), "CCCC NN");
  EXPECT_EQ(Styles(Kw(script::kWordRepeat)), "CCCC");
  EXPECT_EQ(Styles(Kw(script::kWordRepeat) + " 0"), "EEEE E");
  EXPECT_EQ(Styles(Kw(script::kWordJumpTo) + " a\\sb"), "CCCC     ");
  EXPECT_EQ(Styles(Kw(script::kWordLabel) + " \"a\\q\""), "EEEE EEEEE") << "an escape the reader refuses";
  EXPECT_EQ(Styles(Kw(script::kWordCall) + " \"b.crec\" 2"), "CCCC          N");
  EXPECT_EQ(Styles(Kw(script::kWordCall)), "EEEE") << "no file";
  EXPECT_EQ(Styles(Kw(script::kWordEndPlay) + " x"), Rep('C', 8) + " S");
}

TEST(ScriptLexer, TheFirstStructureErrorOfAScriptIsFoundWithItsLine) {
  const std::string repeat(script::kWordRepeat), end(script::kWordEndRepeat);
  EXPECT_FALSE(ScriptStructureError(repeat + " 2\r\n" + script::DelayLine(5) + "\r\n" + end + "\r\n"));
  const auto e = ScriptStructureError(script::DelayLine(5) + "\r\n" + repeat + " 2\r\n");
  ASSERT_TRUE(e);
  EXPECT_EQ(e->line, 1) << "counted from 0, as the box counts";
  EXPECT_EQ(e->text, "第 2 行：重复没有对应的结束重复");
}

TEST(ScriptLexer, WhatThePlayerSkipsIsMarked) {
  EXPECT_EQ(Styles("hello world"), "SSSSS SSSSS");
  // The double-click words are not played.
  EXPECT_EQ(Styles(script::MouseButtonLine(script::ButtonLine::LeftDouble)), Rep('S', 8));
  // Left over after a keyword's arguments: read as a word of its own, skipped.
  EXPECT_EQ(Styles(Kw(script::kKeywordDelay) + " abc"), "KKKK SSS");
  EXPECT_EQ(Styles(Kw(script::kKeywordDelay) + " 5x"), "KKKK NS");
  // "10 ,20": the comma must follow the number at once.
  EXPECT_EQ(Styles(Kw(script::kKeywordMove) + " 10 ,20"), "KKKK NN SSS");
  // A keyword glued to other text is no keyword.
  EXPECT_EQ(Styles(Kw(script::kKeywordDelay) + "5"), Rep('S', 5));
}

TEST(ScriptLexer, AKeyCodeThatIsNoIntegerIsAnError) {
  const std::string down = Kw(script::kKeywordKeyDown);
  EXPECT_EQ(Styles(down + " A1"), "EEEEEEEE EE");
  EXPECT_EQ(Styles(Kw(script::kKeywordWheel) + " x"), "EEEEEEEE E");
  EXPECT_EQ(Styles(Kw(script::kKeywordWaitColor) + " 1,2 red 0 1"), "EEEEEEEE EEE EEE E E");
  EXPECT_EQ(Styles(Kw(script::kKeywordRandomDelay) + " 20,10ms\r\n"), "EEEEEEEE EEEEEEE  ");
  EXPECT_EQ(Styles(Kw(script::kKeywordTypeText) + " \"a\" 60001"), "EEEEEEEE EEE EEEEE");
  EXPECT_EQ(Styles(Kw(script::kKeywordWaitKey) + " F99 5"), "EEEEEEEE EEE E");
  EXPECT_EQ(Styles(Kw(script::kKeywordWaitWindow) + " \"\\u{D800}\" 5"), "EEEEEEEE EEEEEEEEEE E");
  // The same word with an integer code is played.
  EXPECT_EQ(Styles(down + " 65").substr(0, 8), Rep('K', 8));
}

TEST(ScriptLexer, SeveralActionsOnOneLineAndOddBytes) {
  const std::string two = script::DelayLine(5) + " " + script::MouseButtonLine(script::ButtonLine::LeftUp);
  EXPECT_EQ(Styles(two), "KKKK N " + Rep('K', 8));
  // Bytes that are not GBK, NUL bytes, a word far longer than the reader keeps:
  // styled, nothing read beyond the line.
  std::string odd("\x80\xFF\x00 \x81", 5);
  EXPECT_EQ(Styles(odd), "SSS S");
  EXPECT_EQ(Styles(std::string(500, 'x')), Rep('S', 500));
  EXPECT_EQ(Styles(""), "");
  // A keyword at the end of the line with no argument there.
  EXPECT_EQ(Styles(Kw(script::kKeywordDelay)), "KKKK");
  EXPECT_EQ(Styles(Kw(script::kKeywordDelay) + "\r\n"), "KKKK  ");
}

}  // namespace
}  // namespace tesmuro::editor
