#include <gtest/gtest.h>

#include "app/command_line.h"
#include "linux/cli.h"

namespace tesmuro::linux_cli {
namespace {

ParseResult Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

TEST(LinuxCommandLine, OptionsStandBeforeOrAfterTheFileInBothSpellings) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"play", "a.crec", "--loops", "3", "--speed=2.5"},
           {"--loops=3", "play", "--speed", "2.5", "a.crec"},
           {"play", "-n", "3", "-s", "2.5", "--", "a.crec"}}) {
    const ParseResult r = Parse(args);
    ASSERT_EQ(r.error, "") << args[0];
    EXPECT_EQ(r.options.command, Command::Play);
    EXPECT_EQ(r.options.file, "a.crec");
    EXPECT_EQ(r.options.run.loops, 3);
    EXPECT_EQ(r.options.run.speedPercent, 250);
  }
  // After "--" a name that starts with a dash is a file.
  EXPECT_EQ(Parse({"record", "--", "-odd.crec"}).options.file, "-odd.crec");
}

TEST(LinuxCommandLine, RecordOptionsAndSettings) {
  const ParseResult r = Parse({"record", "x.crec", "--no-mouse", "--append", "--settings", "/tmp/s"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.command, Command::Record);
  EXPECT_TRUE(r.options.noMouse);
  EXPECT_FALSE(r.options.noKeys);
  EXPECT_TRUE(r.options.append);
  EXPECT_EQ(r.options.settingsFile, "/tmp/s");
}

TEST(LinuxCommandLine, HotkeysTakesARowsFileAndNoScript) {
  ParseResult r = Parse({"hotkeys"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.command, Command::Hotkeys);
  EXPECT_EQ(r.options.rowsFile, std::nullopt);
  r = Parse({"--file=/tmp/k.qlkeys", "hotkeys", "--settings", "/tmp/s"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.rowsFile, "/tmp/k.qlkeys");
  EXPECT_EQ(r.options.settingsFile, "/tmp/s");
  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"hotkeys", "a.crec"}, {"hotkeys", "--loops", "2"}, {"hotkeys", "--file"}, {"hotkeys", "--file="},
           {"play", "a.crec", "--file", "k.qlkeys"}})
    EXPECT_NE(Parse(bad).error, "") << bad.back();
}

TEST(LinuxCommandLine, GameModeIsForRecording) {
  ParseResult r = Parse({"record", "x.crec", "--game"});
  ASSERT_EQ(r.error, "");
  EXPECT_TRUE(r.options.run.gameMode);
  EXPECT_FALSE(Parse({"record", "x.crec"}).options.run.gameMode);
  EXPECT_NE(Parse({"play", "x.crec", "--game"}).error.find("--game"), std::string::npos);
  EXPECT_NE(Parse({"record", "x.crec", "--game=1"}).error.find("--game"), std::string::npos);
  EXPECT_NE(Parse({"record", "x.crec", "--game", "--no-mouse"}).error.find("--no-mouse"), std::string::npos);
}

TEST(LinuxCommandLine, TheScreenMappingIsForPlayback) {
  EXPECT_TRUE(Parse({"play", "a", "--scale"}).options.run.scaleToScreen);
  EXPECT_FALSE(Parse({"play", "a"}).options.run.scaleToScreen);
  EXPECT_NE(Parse({"record", "a", "--scale"}).error.find("--scale"), std::string::npos);
}

TEST(LinuxCommandLine, MistakesAreNamed) {
  EXPECT_NE(Parse({}).error, "");
  EXPECT_NE(Parse({"dance", "a"}).error.find("dance"), std::string::npos);
  EXPECT_NE(Parse({"play"}).error, "");
  EXPECT_NE(Parse({"play", "a", "b"}).error.find("b"), std::string::npos);
  EXPECT_NE(Parse({"play", "a", "--loops"}).error, "");
  EXPECT_NE(Parse({"play", "a", "--loops", "0"}).error, "");
  EXPECT_NE(Parse({"play", "a", "--loops", "2147483648"}).error, "");
  EXPECT_NE(Parse({"play", "a", "--loops", "3", "--until-stop"}).error, "");
  EXPECT_NE(Parse({"play", "a", "--bogus"}).error.find("--bogus"), std::string::npos);
  EXPECT_NE(Parse({"play", "a", "--scale=1"}).error, "");
  EXPECT_NE(Parse({"record", "a", "--loops", "2"}).error, "");
  EXPECT_NE(Parse({"play", "a", "--append"}).error, "");
  EXPECT_NE(Parse({"record", "a", "--no-mouse", "--no-keys"}).error, "");
  EXPECT_EQ(Parse({"play", "a", "--help"}).options.command, Command::Help);
  EXPECT_EQ(Parse({"--version"}).options.command, Command::Version);
}

TEST(LinuxCommandLine, ExportTakesTheProgramToWriteAndThePlayOptions) {
  const ParseResult r = Parse({"export", "a.crec", "--for", "1:00", "-o", "prog", "--speed=2"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.command, Command::Export);
  EXPECT_EQ(r.options.output, "prog");
  EXPECT_EQ(r.options.run.forSeconds, 60);
  EXPECT_EQ(r.options.run.speedPercent, 200);
  EXPECT_EQ(Parse({"export", "a.crec"}).error, "export 需要用 -o 指定要写出的程序。");
  EXPECT_NE(Parse({"export", "a.crec", "-o", "p", "--no-mouse"}).error, "");
  EXPECT_NE(Parse({"export", "a.crec", "-o", "p", "--tolerance", "2"}).error, "");
  EXPECT_EQ(Parse({"play", "a.crec", "-o", "p"}).error, "-o 只用于 thin 和 export。");
}

TEST(LinuxCommandLine, CaptureTakesAnAreaOfFourWholeNumbers) {
  ParseResult r = Parse({"capture", "a.png", "--area=-10,20,30,40"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.options.command, Command::Capture);
  EXPECT_EQ(r.options.area, (DesktopRect{-10, 20, 30, 40}));
  EXPECT_FALSE(Parse({"capture", "a.png"}).options.area);
  for (const char* bad : {"1,2,3", "1,2,0,4", "1,2,3,4,5", "a,2,3,4", "1,2,-3,4", "1, 2,3,4"})
    EXPECT_NE(Parse({"capture", "a.png", "--area", bad}).error, "") << bad;
  EXPECT_NE(Parse({"play", "a.crec", "--area", "1,2,3,4"}).error, "");
  EXPECT_NE(Parse({"capture", "a.png", "--loops", "2"}).error, "");
}

TEST(LinuxCommandLine, TheWaitLimitIsWholeSecondsForOnePlayback) {
  EXPECT_EQ(Parse({"play", "a", "--wait-limit", "0"}).options.run.waitLimitSeconds, 0);
  EXPECT_EQ(Parse({"play", "a", "--wait-limit=86400"}).options.run.waitLimitSeconds, 86400);
  EXPECT_FALSE(Parse({"play", "a"}).options.run.waitLimitSeconds) << "the settings' limit applies";
  for (const char* bad : {"86401", "-1", "1.5", "", "1234567", "5s"})
    EXPECT_NE(Parse({"play", "a", std::string("--wait-limit=") + bad}).error, "") << bad;
  EXPECT_NE(Parse({"play", "a", "--wait-limit"}).error, "");
  EXPECT_NE(Parse({"record", "a", "--wait-limit", "5"}).error.find("--wait-limit"), std::string::npos);
}

// The seed of a run's random draws, through both programs' command lines.
TEST(BothCommandLines, TakeASeedOfSixtyFourBits) {
  const std::pair<const char*, std::optional<uint64_t>> rows[] = {
      {"0", 0u}, {"18446744073709551615", UINT64_MAX}, {"007", 7u}, {"18446744073709551616", {}},
      {"99999999999999999999", {}}, {"-1", {}}, {"+1", {}}, {"", {}}, {"1e3", {}}, {" 1", {}}, {"0x10", {}}};
  for (const auto& [text, value] : rows) {
    const CommandLine w = tesmuro::ParseCommandLine({"/play", "a.crec", "/seed", text});
    const ParseResult l = Parse({"play", "a.crec", "--seed", text});
    EXPECT_EQ(w.run.seed, value) << text << ": " << w.error;
    EXPECT_EQ(l.options.run.seed, value) << text << ": " << l.error;
    EXPECT_EQ(w.error.empty(), value.has_value()) << text;
    EXPECT_EQ(l.error.empty(), value.has_value()) << text;
  }
  EXPECT_NE(Parse({"play", "a", "--seed"}).error, "");
  EXPECT_NE(Parse({"record", "a", "--seed", "1"}).error.find("--seed"), std::string::npos);
}

// One table through both programs' command lines: the same speed, count and
// duration text gives the same number, or is refused, in both.
TEST(BothCommandLines, ReadNumbersAlike) {
  enum Kind { Speed, Count, Duration };
  struct Row {
    Kind kind;
    const char* text;
    std::optional<int64_t> value;
  } rows[] = {
      {Speed, "1", 100},      {Speed, "0.1", 10},     {Speed, ".5", 50},        {Speed, "2.", 200},
      {Speed, "100", 10000},  {Speed, "1.25", 125},   {Speed, "00002.50", 250},
      // Past whole percent the number rounds; the limits hold as typed.
      {Speed, "1.234", 123},  {Speed, "1.235", 124},  {Speed, "99.996", 10000}, {Speed, "0.0999", {}},
      {Speed, "100.001", {}}, {Speed, "0", {}},       {Speed, ".", {}},         {Speed, "1,5", {}},
      {Speed, "1e1", {}},     {Speed, "+1", {}},      {Speed, " 1", {}},        {Speed, "1..2", {}},
      {Speed, "nan", {}},     {Speed, "", {}},
      {Count, "1", 1},        {Count, "2147483647", 2147483647},                {Count, "007", 7},
      {Count, "0", {}},       {Count, "2147483648", {}},                        {Count, "99999999999999999999", {}},
      {Count, "3x", {}},      {Count, "-1", {}},      {Count, "", {}},
      {Duration, "1:30:00", 5400},                    {Duration, "2:05", 125},  {Duration, "90", 90},
      {Duration, "0:0:0", 0}, {Duration, "596523:14:07", 2147483647},          {Duration, "596523:14:08", {}},
      {Duration, "1:60:00", {}},                      {Duration, "1::2", {}},   {Duration, "1:2:3:4", {}},
      {Duration, ":30", {}},  {Duration, "1:30:", {}}, {Duration, "1.5", {}},
  };
  for (const Row& row : rows) {
    const char* win[] = {"/speed", "/loops", "/for"};
    const char* gnu[] = {"--speed", "--loops", "--for"};
    const CommandLine w = tesmuro::ParseCommandLine({"/play", "a.crec", win[row.kind], row.text});
    const ParseResult l = Parse({"play", "a.crec", gnu[row.kind], row.text});
    std::optional<int64_t> fromWindows, fromLinux;
    switch (row.kind) {
      case Speed: fromWindows = w.run.speedPercent, fromLinux = l.options.run.speedPercent; break;
      case Count: fromWindows = w.run.loops, fromLinux = l.options.run.loops; break;
      case Duration: fromWindows = w.run.forSeconds, fromLinux = l.options.run.forSeconds; break;
    }
    EXPECT_EQ(fromWindows, row.value) << gnu[row.kind] << " " << row.text << ": " << w.error;
    EXPECT_EQ(fromLinux, row.value) << gnu[row.kind] << " " << row.text << ": " << l.error;
    EXPECT_EQ(w.error.empty(), row.value.has_value()) << row.text;
    EXPECT_EQ(l.error.empty(), row.value.has_value()) << row.text;
  }
}

// Both programs say a mistake in a run's switch with the same words, from
// one table: only the switch's spelling and the Linux full stop differ.
TEST(BothCommandLines, SayTheSameMistakeAlike) {
  const std::vector<std::vector<std::string>> mistakes = {
      {"loops"}, {"loops", "0"}, {"for", "1:60"}, {"speed", "0.05"}, {"speed"}, {"seed", "-1"}};
  for (const auto& m : mistakes) {
    std::vector<std::string> w = {"/play", "a.crec", "/" + m[0]}, l = {"play", "a.crec", "--" + m[0]};
    if (m.size() > 1) w.push_back(m[1]), l.push_back(m[1]);
    std::string said = tesmuro::ParseCommandLine(w).error + "。";
    said.replace(0, m[0].size() + 1, "--" + m[0]);
    EXPECT_EQ(Parse(l).error, said) << m[0];
  }
  EXPECT_EQ(Parse({"play", "a", "-n"}).error, "-n 后面缺少播放遍数。") << "as typed";
  EXPECT_EQ(Parse({"play", "a", "--loops", "2", "--for", "3"}).error, "--loops、--until-stop 和 --for 只能选一个。");
  EXPECT_EQ(Parse({"record", "a", "--seed", "1"}).error,
            "--loops、--until-stop、--for、--speed、--scale、--wait-limit 和 --seed 只用于 play。");
  EXPECT_NE(Parse({"play", "a", "--n", "2"}).error.find("未知选项"), std::string::npos) << "no long form of -n";
}

}  // namespace
}  // namespace tesmuro::linux_cli
