// Window lines and their quoted texts, as written, read back, and as a reader
// that does not know the word sees them.
#include <gtest/gtest.h>

#include <string>

#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"
#include "support/gbk_script.h"

namespace tesmuro::script {
namespace {

TEST(QuotedToken, EscapesWhatWouldSplitTheWordAndRoundTrips) {
  // 中 is D6 D0 in GBK; 😀 has no GBK form; 乗's GBK trail byte is '\' (81 5C).
  const std::string text = "a \"b\"\t\\ 中 😀\x01";
  const std::string token = QuotedToken(text);
  EXPECT_EQ(token, "\"a\\s\\\"b\\\"\\t\\\\\\s\xD6\xD0\\s\\u{1f600}\\u{1}\"");
  bool cut = true;
  EXPECT_EQ(UnquoteToken(token, &cut), text);
  EXPECT_FALSE(cut);
  EXPECT_EQ(UnquoteToken("\"\x81\\s\""), "\xE4\xB9\x97s") << "a GBK pair whose trail byte is a backslash";
  EXPECT_EQ(UnquoteToken("\"\\q\\u{zz}\"x"), "q\\u{zz}") << "unknown escapes stand for themselves";
  EXPECT_EQ(UnquoteToken("\"\\u{D800}\""), "\\u{D800}") << "never an encoded surrogate";

  // A long title is cut at a character to fit the reader's word, and says so.
  std::string longTitle;
  for (int i = 0; i < 60; ++i) longTitle += "中";
  const std::string longToken = QuotedToken(longTitle);
  EXPECT_LE(longToken.size(), kMaxWordBytes);
  EXPECT_NE(longToken.back(), '"');
  const std::string back = UnquoteToken(longToken, &cut);
  EXPECT_TRUE(cut);
  EXPECT_EQ(longTitle.rfind(back, 0), 0u);
  EXPECT_EQ(back.size(), 49u * 3) << "49 whole characters after the quote";
}

TEST(QuotedToken, WhatTheWriterWritesIsValidAndABadEscapeMarksItsLine) {
  std::string longTitle;
  for (int i = 0; i < 40; ++i) longTitle += "a\\\"中😀";
  for (const std::string& text : {std::string("a \"b\"\t\\ 中 😀\x01\r\n"), longTitle, std::string()})
    EXPECT_TRUE(QuotedTokenValid(QuotedToken(text))) << QuotedToken(text);
  EXPECT_TRUE(QuotedTokenValid("\"\x81\\s\"")) << "a GBK pair whose trail byte is a backslash";
  EXPECT_TRUE(QuotedTokenValid("\"abc\\u{4E")) << "a cut token that ends within an escape";
  EXPECT_TRUE(QuotedTokenValid("\"\\u{10FFFF}\"\\q")) << "what follows the closing quote is not read";
  for (const char* bad : {"\"\\\xD6\xD0\"", "\"\\u{D800}\"", "\"\\u{DFFF}\"", "\"\\u{110000}\"", "\"\\u{}\"",
                          "\"\\u{1234567}\"", "\"\\u{zz}\"", "\"\\u41\"", "\"\\q\"", "\"a\\ \""})
    EXPECT_FALSE(QuotedTokenValid(bad)) << bad;

  // Every word with a quoted text tells the player and the script box.
  MemoryByteStream in(test::GbkScript("等待窗口 \"\\中\" 5\r\n等待图像 \"\\u{D800}.png\" 0 1\r\n"
                                      "点击图像 \"a.png\" 0 1\r\n窗口 win \"a\" \"b\\x\" \"c\" 1,2,3,4\r\n"));
  Word w;
  for (bool expected : {true, true, false, true}) {
    ASSERT_TRUE(ReadWord(in, w));
    EXPECT_EQ(ParseAction(w.View(), in).badText, expected) << std::string(w.View());
  }
}

TEST(WindowLine, IsReadBackAndALineCutShortLeavesTheNextKeywordAlone) {
  const std::string line = WindowLine("win", "note pad.exe", "Notepad", "无标题 - 记事本", -5, 10, 640, 480);
  MemoryByteStream in(line + "\r\n" + std::string(kKeywordLeftDown));
  Word w;
  ASSERT_TRUE(ReadWord(in, w));
  const Action a = ParseAction(w.View(), in);
  EXPECT_EQ(a.kind, ActionKind::Window);
  EXPECT_EQ(a.system, "win");
  EXPECT_EQ(UnquoteToken(a.text[0]), "note pad.exe");
  EXPECT_EQ(UnquoteToken(a.text[2]), "无标题 - 记事本");
  EXPECT_EQ((std::vector<int32_t>{a.screen[0], a.screen[1], a.screen[2], a.screen[3]}),
            (std::vector<int32_t>{-5, 10, 640, 480}));
  ASSERT_TRUE(ReadWord(in, w));
  EXPECT_EQ(MatchKeyword(w.View()), ActionKind::LeftDown);

  MemoryByteStream cut(test::GbkScript("窗口 win \"a\"\r\n左键按下"));
  ASSERT_TRUE(ReadWord(cut, w));
  EXPECT_TRUE(ParseAction(w.View(), cut).system.empty()) << "incomplete: skipped";
  ASSERT_TRUE(ReadWord(cut, w));
  EXPECT_EQ(MatchKeyword(w.View()), ActionKind::LeftDown);
}

TEST(WindowLine, AReaderThatDoesNotKnowTheWordSeesNoActionInIt) {
  // Such a reader skips the unknown word and reads on one word at a time.
  for (const char* title : {"左键按下", "延迟 5", "移动 1,1 左键按下", "\"", "按键按下 65 0 0 0 0"}) {
    MemoryByteStream in(WindowLine("win", "延迟", "左键按下", title, 1, 2, 3, 4).substr(kKeywordWindow.size()));
    Word w;
    int words = 0;
    while (ReadWord(in, w)) {
      ++words;
      EXPECT_EQ(ParseAction(w.View(), in).kind, ActionKind::Unknown) << title << ": " << std::string(w.View());
    }
    EXPECT_EQ(words, 5) << title;
  }
}

TEST(ImageWords, ReadTheirFileToleranceSecondsAndAnAreaOnlyWhenAllFourAreThere) {
  MemoryByteStream in(std::string(kKeywordClickImage) + " " + QuotedToken("图 1.png") + " 8 5 -10,20,30,40\r\n" +
                      test::GbkScript("等待图像 \"a.png\" 0 3\r\n左键按下\r\n等待图像 \"b.png\" 1 2 5,6\r\n"));
  Word w;
  ASSERT_TRUE(ReadWord(in, w));
  Action a = ParseAction(w.View(), in);
  EXPECT_EQ(a.kind, ActionKind::ClickImage);
  EXPECT_EQ(UnquoteToken(a.text[0]), "图 1.png");
  EXPECT_EQ(a.tolerance, 8);
  EXPECT_EQ(a.seconds, 5);
  ASSERT_TRUE(a.hasArea);
  EXPECT_EQ((std::vector<int32_t>{a.screen[0], a.screen[1], a.screen[2], a.screen[3]}),
            (std::vector<int32_t>{-10, 20, 30, 40}));
  ASSERT_TRUE(ReadWord(in, w));
  a = ParseAction(w.View(), in);
  EXPECT_EQ(a.kind, ActionKind::WaitImage);
  EXPECT_FALSE(a.hasArea);
  ASSERT_TRUE(ReadWord(in, w));
  EXPECT_EQ(MatchKeyword(w.View()), ActionKind::LeftDown) << "the next line's keyword is left alone";
  ASSERT_TRUE(ReadWord(in, w));
  EXPECT_FALSE(ParseAction(w.View(), in).hasArea) << "two numbers are no area";
}

}  // namespace
}  // namespace tesmuro::script

namespace tesmuro::script {
namespace {

// The waits' and 输入文本's arguments (a quoted text, then numbers): a title,
// file name or typed text that reads like a word is one token.
TEST(WaitWords, AReaderThatDoesNotKnowThemSeesNoActionInTheirArguments) {
  for (const char* text : {"左键按下", "延迟 5", "移动 1,1 左键按下", "按键按下 65 0 0 0 0", "延迟 5\n左键按下"}) {
    const std::string quoted = QuotedToken(text);
    for (const std::string& args : {" " + quoted, " " + quoted + " 5", " " + quoted + " 0 10 1,2,3,4",
                                    std::string(" 1,2 FF0000 8 3")}) {
      MemoryByteStream in(args);
      Word w;
      while (ReadWord(in, w))
        EXPECT_EQ(ParseAction(w.View(), in).kind, ActionKind::Unknown) << text << ": " << std::string(w.View());
    }
  }
}

TEST(RandomDelay, AReaderThatDoesNotKnowTheWordSeesNoActionInItsRange) {
  for (const char* args : {" 5,10", " 0,2147483647", " 5, 10", " 10,5"}) {
    MemoryByteStream in(args);
    Word w;
    while (ReadWord(in, w)) EXPECT_EQ(ParseAction(w.View(), in).kind, ActionKind::Unknown) << args;
  }
}

}  // namespace
}  // namespace tesmuro::script
