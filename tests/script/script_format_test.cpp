#include "script/script_format.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace tesmuro::script {
namespace {

// "D1 D3 20 31" -> the bytes D1 D3 20 31.
std::string Hex(const char* text) {
  std::string out;
  for (const char* p = text; *p;) {
    if (*p == ' ') { ++p; continue; }
    out.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
    p += 2;
  }
  return out;
}

TEST(ScriptFormat, ArgumentlessLinesAreTheKeywordBytes) {
  EXPECT_EQ(MouseButtonLine(ButtonLine::LeftDown), Hex("D7 F3 BC FC B0 B4 CF C2"));
  EXPECT_EQ(MouseButtonLine(ButtonLine::LeftUp), Hex("D7 F3 BC FC CA CD B7 C5"));
  EXPECT_EQ(MouseButtonLine(ButtonLine::LeftDouble), Hex("D7 F3 BC FC CB AB BB F7"));
  EXPECT_EQ(MouseButtonLine(ButtonLine::RightDown), Hex("D3 D2 BC FC B0 B4 CF C2"));
  EXPECT_EQ(MouseButtonLine(ButtonLine::RightUp), Hex("D3 D2 BC FC CA CD B7 C5"));
  EXPECT_EQ(MouseButtonLine(ButtonLine::RightDouble), Hex("D3 D2 BC FC CB AB BB F7"));
  EXPECT_EQ(MouseButtonLine(ButtonLine::MiddleDown), Hex("D6 D0 BC FC B0 B4 CF C2"));
  EXPECT_EQ(MouseButtonLine(ButtonLine::MiddleUp), Hex("D6 D0 BC FC CA CD B7 C5"));
  EXPECT_EQ(MouseButtonLine(ButtonLine::MiddleDouble), Hex("D6 D0 BC FC CB AB BB F7"));
}

TEST(ScriptFormat, SignedNumberLines) {
  EXPECT_EQ(DelayLine(950), Hex("D1 D3 B3 D9 20") + "950");
  EXPECT_EQ(DelayLine(0), Hex("D1 D3 B3 D9 20") + "0");
  EXPECT_EQ(DelayLine(INT32_MIN), Hex("D1 D3 B3 D9 20") + "-2147483648");
  EXPECT_EQ(MoveLine(512, 384), Hex("D2 C6 B6 AF 20") + "512,384");
  EXPECT_EQ(MoveLine(-1920, -5), Hex("D2 C6 B6 AF 20") + "-1920,-5");
  EXPECT_EQ(WheelLine(-120, 1, 0), Hex("CA F3 B1 EA B9 F6 C2 D6 20") + "-120 1 0");
  EXPECT_EQ(WheelLine(INT16_MIN, INT16_MAX, -1), Hex("CA F3 B1 EA B9 F6 C2 D6 20") + "-32768 32767 -1");
  EXPECT_EQ(JoyMoveLine(0, 65535), Hex("D2 A1 B8 CB D4 CB B6 AF 20") + "0,65535");
  EXPECT_EQ(JoyButtonLine(257), Hex("D2 A1 B8 CB B0 B4 C5 A5 B0 B4 CF C2 20") + "257");
}

TEST(ScriptFormat, KeyLinesAreUnsignedAndSpaceSeparated) {
  EXPECT_EQ(KeyLine(KeyLineKind::Down, 65, 30, 0, 735, 0),
            Hex("B0 B4 BC FC B0 B4 CF C2 20") + "65 30 0 735 0");
  EXPECT_EQ(KeyLine(KeyLineKind::Up, 65, 30, 128, 825, 0),
            Hex("B0 B4 BC FC B5 AF C6 F0 20") + "65 30 128 825 0");
  EXPECT_EQ(KeyLine(KeyLineKind::SysDown, 18, 56, 32, 4294967295u, 2147483648u),
            Hex("CF B5 CD B3 B0 B4 BC FC B0 B4 CF C2 20") + "18 56 32 4294967295 2147483648");
  EXPECT_EQ(KeyLine(KeyLineKind::SysUp, 121, 68, 160, 1, 0),
            Hex("CF B5 CD B3 B0 B4 BC FC B5 AF C6 F0 20") + "121 68 160 1 0");
}

TEST(ScriptFormat, NormalizeLineBreaks) {
  EXPECT_EQ(NormalizeLineBreaks(""), "");
  EXPECT_EQ(NormalizeLineBreaks("no breaks"), "no breaks");
  EXPECT_EQ(NormalizeLineBreaks("a\r\nb\r\n"), "a\r\nb\r\n");
  EXPECT_EQ(NormalizeLineBreaks("a\nb\rc\r\nd"), "a\r\nb\r\nc\r\nd");
  // A CR before CR LF is a line break of its own; LF CR is two breaks.
  EXPECT_EQ(NormalizeLineBreaks("a\r\r\nb"), "a\r\n\r\nb");
  EXPECT_EQ(NormalizeLineBreaks("a\n\rb"), "a\r\n\r\nb");
  EXPECT_EQ(NormalizeLineBreaks("\r"), "\r\n");
  EXPECT_EQ(NormalizeLineBreaks("\n\n"), "\r\n\r\n");
  // Other bytes, NUL and GBK included, pass unchanged.
  const std::string odd("\xD1\xD3\0\t\x0B\x0C\xFF\n", 8);
  EXPECT_EQ(NormalizeLineBreaks(odd), std::string("\xD1\xD3\0\t\x0B\x0C\xFF\r\n", 9));
}

}  // namespace
}  // namespace tesmuro::script
