// Script bytes through the text box's UTF-16 and back (Windows build only:
// the conversion is the system's code page 936).
#ifdef _WIN32
#include <gtest/gtest.h>

#include "app/script_text_win.h"

namespace tesmuro::win {
namespace {

std::string RoundTrip(const std::string& bytes, int* lost = nullptr) {
  return WideToScriptBytes(ScriptBytesToWide(bytes), lost);
}

TEST(ScriptText, CleanGbkIsReadAsText) {
  // 延迟 5 / 左键按下
  const std::string gbk = "\xD1\xD3\xB3\xD9 5\r\n\xD7\xF3\xBC\xFC\xB0\xB4\xCF\xC2\r\n";
  EXPECT_EQ(ScriptBytesToWide(gbk), L"\u5EF6\u8FDF 5\r\n\u5DE6\u952E\u6309\u4E0B\r\n");
  int lost = -1;
  EXPECT_EQ(RoundTrip(gbk, &lost), gbk);
  EXPECT_EQ(lost, 0);
}

TEST(ScriptText, EveryByteOfADamagedFileComesBack) {
  const std::string cases[] = {
      std::string("a\0b\r\nafter the NUL\r\n", 21),  // a NUL inside the second line
      "\xFF\xFE\x80 x",                              // bytes that start no GBK character
      "\xD1\xD3\xB3",                                // a character cut off at the end
      "\xD1\x20\xD3\xB3\xD9",                        // a lead byte followed by a space
      std::string("\0", 1),
  };
  for (const auto& c : cases) {
    int lost = -1;
    EXPECT_EQ(RoundTrip(c, &lost), c) << "bytes: " << c.size();
    EXPECT_EQ(lost, 0);
  }
  // Every byte value, and every pair of them, in one file larger than a piece.
  std::string all;
  for (int i = 0; i < 256; ++i)
    for (int j = 0; j < 256; ++j) {
      all += static_cast<char>(i);
      all += static_cast<char>(j);
    }
  EXPECT_EQ(RoundTrip(all), all);
}

TEST(ScriptText, AKeptByteShowsAsOneCharacterAndTheRestStaysText) {
  const std::wstring w = ScriptBytesToWide(std::string("x\0\xFF\xD7\xF3", 5));
  ASSERT_EQ(w.size(), 4u);
  EXPECT_EQ(w[0], L'x');
  EXPECT_EQ(w[1], 0xDC00);
  EXPECT_EQ(w[2], 0xDCFF);
  EXPECT_EQ(w[3], L'\u5DE6');
}

TEST(ScriptText, CharactersGbkCannotHoldAreCounted) {
  int lost = -1;
  // A Hangul syllable, an emoji (a surrogate pair) and a lone high surrogate.
  EXPECT_EQ(WideToScriptBytes(L"a\uD55Cb\U0001F600c\xD800", &lost), "a?b?c?");
  EXPECT_EQ(lost, 3);
  EXPECT_EQ(WideToScriptBytes(L"?", &lost), "?");
  EXPECT_EQ(lost, 0) << "a question mark typed by the user is not a loss";
}

}  // namespace
}  // namespace tesmuro::win
#endif
