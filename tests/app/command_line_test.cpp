// The command line's switches and their errors (the numbers themselves:
// tests/linux/cli_parse_test.cpp, alike in both programs).
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace tesmuro {
namespace {

using Action = CommandLine::Action;

TEST(CommandLine, AFileAloneIsOpenedAndNothingIsNothing) {
  EXPECT_EQ(ParseCommandLine({}).action, Action::None);
  const auto c = ParseCommandLine({"C:\\My Scripts\\脚本 一.crec"});
  EXPECT_EQ(c.action, Action::Open);
  EXPECT_EQ(c.file, "C:\\My Scripts\\脚本 一.crec");
  EXPECT_TRUE(c.error.empty());
}

TEST(CommandLine, PlayWithItsOptionsInAnyOrderCaseAndPrefix) {
  const auto c = ParseCommandLine({"-SPEED", "2.5", "/Play", "a b.crec", "/LOOPS", "3", "-exit"});
  EXPECT_EQ(c.action, Action::Play);
  EXPECT_EQ(c.file, "a b.crec");
  EXPECT_EQ(c.run.loops, 3);
  EXPECT_EQ(c.run.speedPercent, 250);
  EXPECT_TRUE(c.exitWhenDone);
  EXPECT_TRUE(c.error.empty()) << c.error;
  const auto plain = ParseCommandLine({"/play", "x.crec"});
  EXPECT_FALSE(plain.run.loops.has_value());
  EXPECT_FALSE(plain.run.speedPercent.has_value());
  EXPECT_FALSE(plain.run.forSeconds.has_value());
  EXPECT_FALSE(plain.exitWhenDone);
}

TEST(CommandLine, ExportWithTheRunsOptions) {
  const auto c = ParseCommandLine({"/export", "C:\\s\\a b.crec", "/O", "D:\\out\\a.exe", "/for", "1:00:00", "/speed", "2"});
  EXPECT_EQ(c.action, Action::Export);
  EXPECT_EQ(c.file, "C:\\s\\a b.crec");
  EXPECT_EQ(c.output, "D:\\out\\a.exe");
  EXPECT_EQ(c.run.forSeconds, 3600);
  EXPECT_EQ(c.run.speedPercent, 200);
  EXPECT_TRUE(c.error.empty()) << c.error;
}

TEST(CommandLine, UsageWinsOverEverythingElse) {
  for (const char* s : {"/?", "-?", "/help", "-H"})
    EXPECT_EQ(ParseCommandLine({"/bogus", s}).action, Action::Usage) << s;
}

TEST(CommandLine, EveryMistakeIsNamedAndTheFirstOneIsKept) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"/play"}, "/play 后面缺少要播放的文件"},
      {{"/play", "/exit"}, "/play 后面缺少要播放的文件"},
      {{"/play", "a", "/loops"}, "/loops 后面缺少播放遍数"},
      {{"/play", "a", "/loops", "0"}, "/loops 的遍数必须是 1 到 2147483647 之间的整数：0"},
      {{"/play", "a", "/speed", "0.05"}, "/speed 的速度必须是 0.1 到 100 之间的数：0.05"},
      {{"/play", "a", "/frobnicate"}, "未知的命令行开关：/frobnicate"},
      {{"a", "b"}, "命令行中只能有一个文件：b"},
      {{"/play", "a", "/for"}, "/for 后面缺少播放时长（时:分:秒）"},
      {{"/play", "a", "/for", "1:60"}, "/for 的时长必须是 时:分:秒，例如 1:30:00：1:60"},
      {{"/play", "a", "/for", "1:00", "/loops", "2"}, "/loops 和 /for 只能选一个"},
      {{"/loops", "2", "a"}, "/loops、/for 和 /speed 只能与 /play 或 /export 一起使用"},
      {{"/for", "2", "a"}, "/loops、/for 和 /speed 只能与 /play 或 /export 一起使用"},
      {{"/exit"}, "/exit 只能与 /play 一起使用"},
      {{"/export", "a", "/o", "b.exe", "/exit"}, "/exit 只能与 /play 一起使用"},
      {{"/export", "a"}, "/export 需要用 /o 指定要写出的程序文件"},
      {{"/export", "a", "/o"}, "/o 后面缺少要写出的程序文件"},
      {{"/export", "/o", "b.exe"}, "/export 后面缺少要导出的文件"},
      {{"a", "/o", "b.exe"}, "/o 只能与 /export 一起使用"},
      {{"/play", "a", "/loops", "x", "/bogus"}, "/loops 的遍数必须是 1 到 2147483647 之间的整数：x"},
      {{"/play", "a", "/seed"}, "/seed 后面缺少随机种子"},
      {{"/play", "a", "/seed", "-1"}, "/seed 的随机种子必须是 0 到 18446744073709551615 之间的整数：-1"},
      {{"/seed", "7", "a"}, "/seed 只能与 /play 或 /export 一起使用"},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (auto& a : c.args) joined += a + " ";
    EXPECT_EQ(ParseCommandLine(c.args).error, c.error) << joined;
  }
}

}  // namespace
}  // namespace tesmuro
