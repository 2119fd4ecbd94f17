#include <gtest/gtest.h>

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
    EXPECT_EQ(r.options.loops, 3);
    EXPECT_EQ(r.options.speedPercent, 250);
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

TEST(LinuxCommandLine, GameModeIsForRecording) {
  ParseResult r = Parse({"record", "x.crec", "--game"});
  ASSERT_EQ(r.error, "");
  EXPECT_TRUE(r.options.gameMode);
  EXPECT_FALSE(Parse({"record", "x.crec"}).options.gameMode);
  EXPECT_NE(Parse({"play", "x.crec", "--game"}).error.find("--game"), std::string::npos);
  EXPECT_NE(Parse({"record", "x.crec", "--game=1"}).error.find("--game"), std::string::npos);
  EXPECT_NE(Parse({"record", "x.crec", "--game", "--no-mouse"}).error.find("--no-mouse"), std::string::npos);
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

TEST(LinuxCommandLine, NumbersAtTheirLimits) {
  EXPECT_EQ(ParseCount("1"), 1);
  EXPECT_EQ(ParseCount("2147483647"), 2147483647);
  EXPECT_EQ(ParseCount("-1"), std::nullopt);
  EXPECT_EQ(ParseCount("3x"), std::nullopt);
  EXPECT_EQ(ParseCount("99999999999999999999"), std::nullopt);

  EXPECT_EQ(ParseDuration("1:30:00"), 5400);
  EXPECT_EQ(ParseDuration("2:05"), 125);
  EXPECT_EQ(ParseDuration("90"), 90);
  EXPECT_EQ(ParseDuration("0:0:0"), 0);
  EXPECT_EQ(ParseDuration("1:60:00"), std::nullopt);
  EXPECT_EQ(ParseDuration("1::2"), std::nullopt);
  EXPECT_EQ(ParseDuration("1:2:3:4"), std::nullopt);
  EXPECT_EQ(ParseDuration("596524:00:00"), std::nullopt);  // beyond 2^31 s

  EXPECT_EQ(ParseSpeed("1"), 100);
  EXPECT_EQ(ParseSpeed("0.1"), 10);
  EXPECT_EQ(ParseSpeed(".5"), 50);
  EXPECT_EQ(ParseSpeed("100"), 10000);
  EXPECT_EQ(ParseSpeed("1.25"), 125);
  EXPECT_EQ(ParseSpeed("0.09"), std::nullopt);
  EXPECT_EQ(ParseSpeed("100.01"), std::nullopt);
  EXPECT_EQ(ParseSpeed("1,5"), std::nullopt);
  EXPECT_EQ(ParseSpeed("1."), std::nullopt);
  EXPECT_EQ(ParseSpeed("1.255"), std::nullopt);
}

}  // namespace
}  // namespace tesmuro::linux_cli
