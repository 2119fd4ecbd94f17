#include "script/word_reader.h"
#include "script/control_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "script/script_format.h"
#include "support/gbk_script.h"
#include "util/file_io.h"
#include "util/shortcut.h"
#include "util/text.h"

namespace tesmuro::script {
namespace {

// Test scripts are written in UTF-8 here; G() turns the keywords into GBK.
std::string G(std::string_view utf8) { return test::GbkScript(utf8); }

std::string Describe(const Word& w, const Action& a) {
  auto n = [](int32_t v) { return std::to_string(v); };
  switch (a.kind) {
    case ActionKind::Delay: return "Delay " + n(a.delay_ms);
    case ActionKind::Move: return "Move " + n(a.x) + "," + n(a.y);
    case ActionKind::LeftDown: return "LeftDown";
    case ActionKind::LeftUp: return "LeftUp";
    case ActionKind::RightDown: return "RightDown";
    case ActionKind::RightUp: return "RightUp";
    case ActionKind::MiddleDown: return "MiddleDown";
    case ActionKind::MiddleUp: return "MiddleUp";
    case ActionKind::Wheel: return "Wheel " + n(a.wheel) + " " + n(a.wheel_a) + " " + n(a.wheel_b);
    case ActionKind::KeyDown: return "KeyDown " + n(a.vk);
    case ActionKind::KeyUp: return "KeyUp " + n(a.vk);
    case ActionKind::SysKeyDown: return "SysKeyDown " + n(a.vk);
    case ActionKind::SysKeyUp: return "SysKeyUp " + n(a.vk);
    case ActionKind::JoyMove: return "JoyMove " + n(a.x) + "," + n(a.y);
    case ActionKind::JoyButton: return "JoyButton " + n(a.buttons);
    case ActionKind::ConversionError: return "ConversionError";
    case ActionKind::RandomDelay:
      return a.badRange ? "BadRandomDelay" : "RandomDelay " + n(a.delay_ms) + "," + n(a.delay_max_ms);
    case ActionKind::TypeText:
      return "TypeText " + a.text[0] + (a.badRange ? " bad" : " " + n(a.delay_ms)) + (a.badText ? " badtext" : "");
    case ActionKind::WaitKey:
      return "WaitKey " + (a.badKey ? "bad:" + a.text[0] : Shortcut(a.key).Name()) + (a.badRange ? " bad" : " " + n(a.seconds));
    case ActionKind::Unknown: break;
  }
  for (char c : w.View())
    if (c < 0x21 || c > 0x7E || w.size > 20) return "?[" + n(static_cast<int32_t>(w.size)) + "]";
  return "?" + std::string(w.View());
}

// Reads like the player: word by word until the end or a conversion error.
std::string ReadAll(ByteStream& in) {
  std::string out;
  Word w;
  for (int guard = 0; guard < 100000 && ReadWord(in, w); ++guard) {
    const Action a = ParseAction(w.View(), in);
    out += (out.empty() ? "" : " | ") + Describe(w, a);
    if (a.kind == ActionKind::ConversionError) break;
  }
  return out;
}

std::string ReadAll(std::string script) {
  MemoryByteStream in(std::move(script));
  return ReadAll(in);
}

TEST(WordReader, RecordedFragment) {
  EXPECT_EQ(ReadAll(G("延迟 950\r\n移动 512,384\r\n延迟 96\r\n左键按下\r\n延迟 110\r\n左键释放\r\n"
                      "按键按下 65 30 0 735 0\r\n按键弹起 65 30 128 825 0\r\n")),
            "Delay 950 | Move 512,384 | Delay 96 | LeftDown | Delay 110 | LeftUp | KeyDown 65 | KeyUp 65");
}

TEST(WordReader, WriterLinesReadBack) {
  std::string script;
  for (const std::string& line :
       {DelayLine(-7), MoveLine(-1920, 1080), MouseButtonLine(ButtonLine::RightDown),
        MouseButtonLine(ButtonLine::RightUp), MouseButtonLine(ButtonLine::MiddleDown),
        MouseButtonLine(ButtonLine::MiddleUp), WheelLine(120, 1, 0),
        KeyLine(KeyLineKind::SysDown, 18, 56, 32, 4294967295u, 4294967295u),
        KeyLine(KeyLineKind::SysUp, 18, 56, 160, 1, 0), JoyMoveLine(0, 65535), JoyButtonLine(257)})
    script += line + "\r\n";
  EXPECT_EQ(ReadAll(script),
            "Delay -7 | Move -1920,1080 | RightDown | RightUp | MiddleDown | MiddleUp | Wheel 120 1 0"
            " | SysKeyDown 18 | SysKeyUp 18 | JoyMove 0,65535 | JoyButton 257");
}

TEST(WordReader, LinesDoNotMatter) {
  EXPECT_EQ(ReadAll(G("\r\n\r\n   延迟\t100   \r\n\x0B\x0C\n移动\t10,20\t\r\n")), "Delay 100 | Move 10,20");
  EXPECT_EQ(ReadAll(G("延迟 100 移动 10,20")), "Delay 100 | Move 10,20");
  EXPECT_EQ(ReadAll(G("延迟\r\n\r\n100")), "Delay 100");
  EXPECT_EQ(ReadAll(""), "");
  EXPECT_EQ(ReadAll(" \t\r\n\x0B\x0C"), "");
}

TEST(WordReader, UnknownWordsAreSkippedOneByOne) {
  EXPECT_EQ(ReadAll(G("左键按下 左键双击 左键释放")), "LeftDown | ?[8] | LeftUp");
  EXPECT_EQ(ReadAll(G("延迟5 延迟 5")), "?[5] | Delay 5");  // glued number: not a keyword
  EXPECT_EQ(ReadAll(G("按键按下 65 30 0 1 0 7 8\r\n延迟 3")), "KeyDown 65 | ?7 | ?8 | Delay 3");
}

TEST(WordReader, AReaderThatDoesNotKnowTheControlWordsTakesNoneOfTheirArgumentsForAnAction) {
  // What the player reads when it does not look for control words first (an
  // older copy): each control word and each of its arguments is a word of its own.
  EXPECT_EQ(ReadAll(G("重复 10\r\n移动 1,1\r\n标签 \"延迟\"\r\n跳到 \"延迟\"\r\n调用 \"延迟\" 2\r\n结束重复\r\n"
                      "否则 结束如果 跳出重复 结束播放")),
            "?[4] | ?10 | Move 1,1 | ?[4] | ?[6] | ?[4] | ?[6] | ?[4] | ?[6] | ?2 | ?[8] | ?[4] | ?[8] | ?[8] | ?[8]");
}

TEST(WordReader, NumberEdgeCases) {
  EXPECT_EQ(ReadAll(G("移动 10, 20")), "Move 10,20");
  EXPECT_EQ(ReadAll(G("移动 10 ,20")), "Move 10,0 | ?,20");
  EXPECT_EQ(ReadAll(G("移动 10 延迟 5")), "Move 10,0 | Delay 5");
  EXPECT_EQ(ReadAll(G("移动 10,abc")), "Move 10,0 | ?abc");
  EXPECT_EQ(ReadAll(G("移动 x,5")), "Move 0,0 | ?x,5");
  EXPECT_EQ(ReadAll(G("延迟 abc 延迟 +4")), "Delay 0 | ?abc | Delay 4");
  EXPECT_EQ(ReadAll(G("延迟 -x")), "Delay 0 | ?x");  // the sign stays read
  EXPECT_EQ(ReadAll(G("延迟 -")), "Delay 0");
  EXPECT_EQ(ReadAll(G("延迟 12abc")), "Delay 12 | ?abc");
  // Out-of-range values wrap modulo 2^32 and every digit is consumed.
  EXPECT_EQ(ReadAll(G("延迟 4294967295 延迟 4294967296 延迟 -2147483648 延迟 2147483648")),
            "Delay -1 | Delay 0 | Delay -2147483648 | Delay -2147483648");
  EXPECT_EQ(ReadAll(G("延迟 " + std::string(500, '9') + " 延迟 3")), "Delay -1 | Delay 3");
  EXPECT_EQ(ReadAll(G("摇杆运动 100,200 摇杆按钮按下 -1")), "JoyMove 100,200 | JoyButton -1");
}

TEST(WordReader, KeyLines) {
  EXPECT_EQ(ReadAll(G("按键按下 321 0 0 0 0")), "KeyDown 65");
  EXPECT_EQ(ReadAll(G("按键按下 +65 1 2 3 4 按键弹起 -191 1 2 3 4")), "KeyDown 65 | KeyUp 65");
  EXPECT_EQ(ReadAll(G("按键按下 65 4294967295 4294967295 4294967295 4294967295 延迟 9")),
            "KeyDown 65 | Delay 9");
  EXPECT_EQ(ReadAll(G("按键按下 65\r\n延迟 9")), "KeyDown 65 | Delay 9");  // short line
  // A bare key keyword takes the next word as its code.
  EXPECT_EQ(ReadAll(G("按键按下\r\n延迟 9")), "ConversionError");
  EXPECT_EQ(ReadAll(G("按键按下")), "ConversionError");
  EXPECT_EQ(ReadAll(G("按键按下 65x 0 0 0 0")), "ConversionError");
  EXPECT_EQ(ReadAll(G("按键按下 - 0 0 0 0")), "ConversionError");
  EXPECT_EQ(ReadAll(G("按键按下 0x41 0 0 0 0")), "ConversionError");
  // An over-long code keeps its first 51 bytes; the rest is not a word of its own.
  EXPECT_EQ(ReadAll(G("按键按下 " + std::string(49, '0') + "65junk 1 2 3 4 延迟 1")), "KeyDown 65 | Delay 1");
}

TEST(WordReader, WheelLines) {
  EXPECT_EQ(ReadAll(G("鼠标滚轮 -120 1 0 鼠标滚轮 65416 0 0 鼠标滚轮 120 -5 7")),
            "Wheel -120 1 0 | Wheel -120 0 0 | Wheel 120 -5 7");
  EXPECT_EQ(ReadAll(G("鼠标滚轮    -120 1 0")), "Wheel -120 1 0");
  // Ended by a line end or by the end of the data instead of a space.
  EXPECT_EQ(ReadAll(G("鼠标滚轮 -120\r\n延迟 5")), "Wheel -120 0 0 | Delay 5");
  EXPECT_EQ(ReadAll(G("鼠标滚轮 -120\n延迟 5")), "Wheel -120 0 0 | Delay 5");
  EXPECT_EQ(ReadAll(G("鼠标滚轮 -120")), "Wheel -120 0 0");
  EXPECT_EQ(ReadAll(G("鼠标滚轮")), "ConversionError");
  EXPECT_EQ(ReadAll(G("鼠标滚轮 abc 0 0")), "ConversionError");
  EXPECT_EQ(ReadAll(G("鼠标滚轮\t-120 0 0")), "ConversionError");  // only spaces precede the turn
  EXPECT_EQ(ReadAll(G("鼠标滚轮 -120\t0 0")), "ConversionError");  // a tab belongs to the turn
  EXPECT_EQ(ReadAll(G("鼠标滚轮 " + std::string(51, '0') + "999 1 2")), "Wheel 0 1 2");
}

TEST(WordReader, RandomDelaysTakeWholeMillisecondsMinToMaxOnTheirLine) {
  EXPECT_EQ(ReadAll(G("随机延迟 10,20\r\n随机延迟\t0,0 随机延迟 5, 5 随机延迟 0,2147483647")),
            "RandomDelay 10,20 | RandomDelay 0,0 | RandomDelay 5,5 | RandomDelay 0,2147483647");
  // Not MIN,MAX within 0..2147483647: marked bad, the word read to its end,
  // the next line read as it stands.
  for (const char* bad : {"20,10", "-5,10", "+5,10", "10", "10,", ",10", "10,20ms", "1.5,2", "10,2147483648",
                          "99999999999999999999,1", "abc"})
    EXPECT_EQ(ReadAll(G(std::string("随机延迟 ") + bad + "\r\n延迟 3")), "BadRandomDelay | Delay 3") << bad;
  EXPECT_EQ(ReadAll(G("随机延迟\r\n10,20")), "BadRandomDelay | ?10,20") << "the numbers belong on its line";
  EXPECT_EQ(ReadAll(G("随机延迟 10 20")), "BadRandomDelay | ?20");
  EXPECT_EQ(ReadAll(G("随机延迟")), "BadRandomDelay");
}

TEST(WordReader, TypedTextIsAQuotedTokenAndWholeMillisecondsOnItsLine) {
  EXPECT_EQ(ReadAll(G("输入文本 \"a\\sb\\n\"\r\n输入文本 \"x\" 60000\r\n输入文本 \"y\"\t0 延迟 1")),
            "TypeText \"a\\sb\\n\" 0 | TypeText \"x\" 60000 | TypeText \"y\" 0 | Delay 1");
  // A bad interval is read to its end and marks the line; the next line stands.
  for (const char* bad : {"60001", "-1", "+5", "5ms", "1.5", "99999999999", "abc"})
    EXPECT_EQ(ReadAll(G(std::string("输入文本 \"x\" ") + bad + "\r\n延迟 3")), "TypeText \"x\" bad | Delay 3") << bad;
  EXPECT_EQ(ReadAll(G("输入文本 \"x\"\r\n5")), "TypeText \"x\" 0 | ?5") << "the interval belongs on its line";
  EXPECT_EQ(ReadAll(G("输入文本 \"\\q\" 5")), "TypeText \"\\q\" 5 badtext");
  EXPECT_EQ(ReadAll(G("输入文本 x 5")), "TypeText  0 | ?x | ?5") << "no quoted token: nothing is taken";
}

TEST(WordReader, AWaitedKeyIsAHotKeyNameAndWholeSecondsOnItsLine) {
  EXPECT_EQ(ReadAll(G("等待按键 F8\r\n等待按键 ctrl+enter 10\r\n等待按键 Shift+Alt+A\t2147483647 延迟 1")),
            "WaitKey F8 0 | WaitKey Ctrl+Enter 10 | WaitKey Shift+Alt+A 2147483647 | Delay 1");
  // A name no key has is read as the line's argument and marks it; so does a
  // line without one, whose next line stands.
  EXPECT_EQ(ReadAll(G("等待按键 F25 5\r\n延迟 3")), "WaitKey bad:F25 5 | Delay 3");
  EXPECT_EQ(ReadAll(G("等待按键 Ctrl+ 5")), "WaitKey bad:Ctrl+ 5");
  EXPECT_EQ(ReadAll(G("等待按键\r\n左键按下")), "WaitKey bad: 0 | LeftDown");
  EXPECT_EQ(ReadAll(G("等待按键   \r\nF8")), "WaitKey bad: 0 | ?F8") << "the key belongs on its line";
  // Seconds that are not whole seconds are read to their end and mark the line.
  for (const char* bad : {"-1", "+5", "5s", "1.5", "2147483648", "x"})
    EXPECT_EQ(ReadAll(G(std::string("等待按键 F8 ") + bad + "\r\n延迟 3")), "WaitKey F8 bad | Delay 3") << bad;
  EXPECT_EQ(ReadAll(G("等待按键 F8\r\n5")), "WaitKey F8 0 | ?5") << "the seconds belong on the key's line";
}

TEST(WordReader, HostileInput) {
  // Over-long words keep 99 bytes; their rest never becomes a word.
  Word w;
  MemoryByteStream in(std::string(150, 'a') + G(" 延迟 5"));
  ASSERT_TRUE(ReadWord(in, w));
  EXPECT_EQ(w.View(), std::string(99, 'a'));
  EXPECT_EQ(ReadAll(std::string(99, 'a') + G("延迟 5")), "?[99] | ?5");
  EXPECT_EQ(ReadAll(std::string(10 * 1024 * 1024, 'x') + G(" 延迟 7")), "?[99] | Delay 7");
  EXPECT_EQ(ReadAll(G("延迟 ") + std::string(10 * 1024 * 1024, '0') + G("7\r\n左键按下")), "Delay 7 | LeftDown");
  // NUL is an ordinary byte: it belongs to the word it touches.
  EXPECT_EQ(ReadAll(G("延迟") + std::string(1, '\0') + " 5"), "?[5] | ?5");
  EXPECT_EQ(ReadAll(std::string("\0\0 \0", 4) + G(std::string_view(" 延迟 2\0", 10))), "?[2] | ?[1] | Delay 2 | ?[1]");
  EXPECT_EQ(ReadAll(std::string("\xFF\x80\xD1", 3)), "?[3]");
  // A keyword at the very end of the data still counts.
  EXPECT_EQ(ReadAll(G("延迟 1 左键按下")), "Delay 1 | LeftDown");
  EXPECT_EQ(ReadAll(G("延迟 12")), "Delay 12");
  EXPECT_EQ(ReadAll(G("延迟")), "Delay 0");
}

TEST(ByteStreams, EndPushBackAndRewind) {
  MemoryByteStream in("ab");
  EXPECT_EQ(in.Get(), 'a');
  in.Unget('a');
  EXPECT_EQ(in.Get(), 'a');
  EXPECT_EQ(in.Get(), 'b');
  EXPECT_EQ(in.Get(), ByteStream::kEnd);
  in.Unget(ByteStream::kEnd);
  EXPECT_EQ(in.Get(), ByteStream::kEnd);
  in.Rewind();
  EXPECT_EQ(in.Get(), 'a');
}

// The file stream with tiny buffers puts every push-back at a refill boundary.
TEST(ByteStreams, FileStreamReadsLikeMemoryAcrossRefillsAndRewinds) {
  const std::string script = G("延迟 950\r\n移动 -5,384 鼠标滚轮 65416 1 0\r\n按键按下 321 30 0 4294967295 0 ") +
                             std::string(120, 'z') + G(" 移动 10 ,20 延迟 -x 左键双击 左键按下");
  const std::string expected = ReadAll(script);
  EXPECT_EQ(expected, "Delay 950 | Move -5,384 | Wheel -120 1 0 | KeyDown 65 | ?[99] | Move 10,0 | ?,20"
                      " | Delay 0 | ?x | ?[8] | LeftDown");
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::tmpfile(), &std::fclose);
  ASSERT_TRUE(f);
  ASSERT_EQ(std::fwrite(script.data(), 1, script.size(), f.get()), script.size());
  std::rewind(f.get());
  for (size_t bufferSize : {1, 2, 3, 7, 64 * 1024}) {
    FileByteStream in(f.get(), bufferSize);
    EXPECT_EQ(ReadAll(in), expected) << bufferSize;
    in.Rewind();
    EXPECT_EQ(ReadAll(in), expected) << bufferSize;
    in.Rewind();
  }
}

TEST(ByteStreams, NullFileIsEmpty) {
  FileByteStream in(nullptr);
  EXPECT_EQ(in.Get(), ByteStream::kEnd);
  in.Rewind();
  EXPECT_EQ(in.Get(), ByteStream::kEnd);
}

// The README's words table: the words in backquotes in the first cell of
// each row of the table under "## Script words".
std::set<std::string> ReadmeWords(const std::string& readme) {
  std::set<std::string> words;
  size_t at = readme.find("\n## Script words\n");
  if (at == std::string::npos) return words;
  at = readme.find("\n|", at);
  while (at != std::string::npos && at + 1 < readme.size() && readme[at + 1] == '|') {
    const size_t lineEnd = readme.find('\n', at + 1);
    const std::string line = readme.substr(at + 1, lineEnd - at - 1);
    const std::string cell = line.substr(1, line.find('|', 1) - 1);
    for (size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open)) {
      const size_t close = cell.find('`', open + 1);
      if (close == std::string::npos) break;
      words.insert(cell.substr(open + 1, close - open - 1));
      open = close + 1;
    }
    at = lineEnd;
  }
  return words;
}

TEST(WordReader, TheReadmeTableNamesEveryWordTheReaderKnowsAndNoOther) {
  std::string path = TESMURO_SOURCE_DIR "/README.md";
#ifdef _WIN32
  if (path.starts_with('/')) path = "Z:" + path;  // the source tree as Wine's drive Z: shows it
#endif
  std::string readme;
  ASSERT_TRUE(ReadWholeFile(path, readme)) << path;
  const std::set<std::string> table = ReadmeWords(readme);
  ASSERT_FALSE(table.empty()) << "no words table under \"## Script words\" in " << path;
  std::set<std::string> known;
  for (std::string_view w : KnownWords()) known.insert(GbkToUtf8(w));
  for (std::string_view w : ControlWordTexts()) known.insert(GbkToUtf8(w));
  for (const std::string& w : known) EXPECT_TRUE(table.count(w)) << "README.md's words table lacks " << w;
  for (const std::string& w : table) EXPECT_TRUE(known.count(w)) << "README.md's words table has " << w << ", which the reader does not know";
}

}  // namespace
}  // namespace tesmuro::script
