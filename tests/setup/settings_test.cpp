#include "setup/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "app/main_window.h"
#include "support/main_window_fixture.h"

namespace tesmuro {
namespace {

std::string Lines(std::initializer_list<const char*> lines) {
  std::string s;
  for (auto* l : lines) {
    s += l;
    s += "\r\n";
  }
  return s;
}

// 20 numeric lines, a name line and 5 flags.
std::string File(const std::string& line20End, const std::string& name, const char* tail = "1\r\n0\r\n1\r\n0\r\n1\r\n") {
  return Lines({"0", "1", "0", "1", "0", "1", "7", "2", "3", "4", "120", "121", "122", "1", "0", "1", "0", "5",
                "6"}) +
         "9" + line20End + name + "\r\n" + tail;
}

TEST(SettingsFile, ConstructionValuesGiveTheDocumentedBytes) {
  std::string expected = "1\r\n1\r\n1\r\n";
  for (int i = 0; i < 17; ++i) expected += "0\r\n";
  expected += "\r\n0\r\n0\r\n0\r\n1\r\n1\r\n";
  expected += "100\r\n";  // the speed, after the 26 lines of the older layout
  expected += "0\r\n0\r\n";  // game mode, the screen mapping
  expected += "0\r\n";        // the Play hot key asks for a file
  expected += "1\r\n10\r\n";   // positions follow their windows, waits last 10 s at most
  expected += "0\r\n0\r\n0\r\n0\r\n";  // no random share, every move, no notification area
  EXPECT_EQ(FormatSettings(ConstructionSettings()), expected);
}

TEST(SettingsFile, TheSpeedLineIsOptionalAndOnlySaneValuesAreTaken) {
  TSettings s = ConstructionSettings();
  s.SpeedPercent = 250;
  TSettings back = ConstructionSettings();
  ParseSettings(FormatSettings(s), back);
  EXPECT_EQ(back, s);

  const std::string older = File("\r\n", "x.crec");  // 26 lines, no speed
  TSettings fromOlder = ConstructionSettings();
  ParseSettings(older, fromOlder);
  EXPECT_EQ(fromOlder.SpeedPercent, 100);
  EXPECT_TRUE(fromOlder.RecKeyMsg) << "the 26th line is still read";

  for (const char* bad : {"9", "10001", "-100", "0", "x", "4294967396"}) {
    TSettings t = ConstructionSettings();
    ParseSettings(older + bad + "\r\n", t);
    EXPECT_EQ(t.SpeedPercent, 100) << bad;
  }
  TSettings edge = ConstructionSettings();
  ParseSettings(older + "10\r\n", edge);
  EXPECT_EQ(edge.SpeedPercent, 10);
  ParseSettings(older + "10000", edge);
  EXPECT_EQ(edge.SpeedPercent, 10000);
}

TEST(SettingsFile, WritesEveryFieldOnItsLine) {
  TSettings s;
  s.LoopUntilKey = true;
  s.LoopCount = -5;
  s.LoopHours = 2;
  s.LoopMinutes = 59;
  s.LoopSeconds = 2147483647;
  s.StartKey = 65535;
  s.StopKey = 16504;
  s.RecordKey = 120;
  s.ShortCutControl = true;
  s.ShutHours = -1;
  s.AutoFileName = "C:\\a b\\x.crec";
  s.SendInputJoy = true;
  s.RecKeyMsg = true;
  EXPECT_EQ(FormatSettings(s), Lines({"0", "0", "0", "1", "0", "0", "-5", "2", "59", "2147483647", "65535",
                                      "16504", "120", "1", "0", "0", "0", "-1", "0", "0", "C:\\a b\\x.crec", "0",
                                      "0", "1", "0", "1", "100", "0", "0", "0", "1", "10", "0", "0", "0", "0"}));
  s.GameMode = true;
  EXPECT_TRUE(FormatSettings(s).ends_with("\r\n100\r\n1\r\n0\r\n0\r\n1\r\n10\r\n0\r\n0\r\n0\r\n0\r\n"));
  s.GameMode = false;
  s.ScaleToScreen = true;
  s.FollowWindows = false;
  s.WaitWindowSeconds = 0;
  EXPECT_TRUE(FormatSettings(s).ends_with("\r\n100\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n"));
}

TEST(SettingsFile, GameModeAndScreenMappingComeAfterTheSpeedAndAreOffInOlderFiles) {
  const std::string older = File("\r\n", "x.crec");  // 26 lines
  for (const std::string& file : {older, older + "150\r\n"}) {
    TSettings t = ConstructionSettings();
    ParseSettings(file, t);
    EXPECT_FALSE(t.GameMode);
    EXPECT_FALSE(t.ScaleToScreen);
  }
  TSettings t = ConstructionSettings();
  ParseSettings(older + "150\r\n1\r\n1\r\n", t);
  EXPECT_EQ(t.SpeedPercent, 150);
  EXPECT_TRUE(t.GameMode);
  EXPECT_TRUE(t.ScaleToScreen);
  TSettings u = ConstructionSettings();
  ParseSettings(older + "150\r\n1", u);  // a file cut short after the game mode
  EXPECT_TRUE(u.GameMode);
  EXPECT_FALSE(u.ScaleToScreen);
}

TEST(SettingsFile, ThePlayKeysChoiceIsTheThirtiethLineAndOffInOlderFiles) {
  const std::string older = File("\r\n", "x.crec");  // 26 lines
  TSettings t = ConstructionSettings();
  ParseSettings(older + "150\r\n1\r\n1\r\n", t);
  EXPECT_FALSE(t.PlayKeyPlaysMemo) << "a file of 29 lines";
  ParseSettings(older + "150\r\n0\r\n0\r\n1\r\n", t);
  EXPECT_TRUE(t.PlayKeyPlaysMemo);
  EXPECT_FALSE(t.GameMode);
  TSettings s = ConstructionSettings();
  s.PlayKeyPlaysMemo = true;
  EXPECT_TRUE(FormatSettings(s).ends_with("\r\n100\r\n0\r\n0\r\n1\r\n1\r\n10\r\n0\r\n0\r\n0\r\n0\r\n"));
}

TEST(SettingsFile, WindowFollowingAndTheWaitLimitAreTheLastLinesWithTheirDefaultsInOlderFiles) {
  const std::string older = File("\r\n", "x.crec") + "100\r\n0\r\n0\r\n0\r\n";  // 30 lines
  TSettings t = ConstructionSettings();
  ParseSettings(older, t);
  EXPECT_TRUE(t.FollowWindows);
  EXPECT_EQ(t.WaitWindowSeconds, 10);
  ParseSettings(older + "0\r\n3\r\n", t);
  EXPECT_FALSE(t.FollowWindows);
  EXPECT_EQ(t.WaitWindowSeconds, 3);
  for (const char* bad : {"-1", "86401", "x"}) {
    ParseSettings(older + "1\r\n" + bad + "\r\n", t);
    EXPECT_EQ(t.WaitWindowSeconds, 3) << bad << ": kept as it was";
  }
  EXPECT_EQ(RunOptionsFor(t).waitLimitSeconds, 3);
  RunRequest r;
  r.waitLimitSeconds = 99999;  // a run's own limit is kept within bounds too
  EXPECT_EQ(RunOptionsFor(t, r).waitLimitSeconds, kMaxWaitSeconds);
}

TEST(SettingsFile, RandomShareMoveLimitsAndTrayAreTheLastLinesWithinTheirRanges) {
  const std::string older = File("\r\n", "x.crec") + "100\r\n0\r\n0\r\n0\r\n1\r\n10\r\n";  // 32 lines
  TSettings t = ConstructionSettings();
  ParseSettings(older, t);
  EXPECT_EQ(t.DelayJitterPercent, 0);
  EXPECT_EQ(t.MoveIntervalMs, 0);
  EXPECT_EQ(t.MoveMinDistance, 0);
  EXPECT_FALSE(t.MinimizeToTray);
  ParseSettings(older + "50\r\n60000\r\n10000\r\n1\r\n", t);
  EXPECT_EQ(t.DelayJitterPercent, 50);
  EXPECT_EQ(t.MoveIntervalMs, 60000);
  EXPECT_EQ(t.MoveMinDistance, 10000);
  EXPECT_TRUE(t.MinimizeToTray);
  ParseSettings(older + "51\r\n-1\r\n10001\r\nx\r\n", t);  // out of range: kept as they were
  EXPECT_EQ(t.DelayJitterPercent, 50);
  EXPECT_EQ(t.MoveIntervalMs, 60000);
  EXPECT_EQ(t.MoveMinDistance, 10000);
  EXPECT_TRUE(t.MinimizeToTray);

  RunRequest r;
  r.seed = 7;
  EXPECT_EQ(RunOptionsFor(t, r).delayJitterPercent, 50);
  EXPECT_EQ(RunOptionsFor(t, r).seed, 7u);
  EXPECT_FALSE(RunOptionsFor(t).seed.has_value());
  const RecordingOptions rec = RecordingOptionsFor(t);
  EXPECT_EQ(rec.moveIntervalMs, 60000);
  EXPECT_EQ(rec.moveMinDistance, 10000);
}

TEST(SettingsFile, RoundTripRestoresEveryField) {
  TSettings s;
  s.RecMouse = true;
  s.RecJoy = true;
  s.RecMouseMsg = true;
  s.LoopCount = 3;
  s.LoopHours = 1;
  s.LoopMinutes = -2;
  s.LoopSeconds = 30;
  s.LoopByTime = true;
  s.ShortCutControl = true;
  s.StartKey = 0x4078;
  s.StopKey = 123;
  s.RecordKey = 0x8000 | 'R';
  s.ShutAfterLoops = true;
  s.ShutAfterElapsed = true;
  s.AutoRun = true;
  s.ShutHours = 596;
  s.ShutMinutes = 1;
  s.ShutSeconds = -2147483647 - 1;
  // Spaces inside the name and Chinese text (GBK bytes of "录制") survive.
  s.AutoFileName = "D:\\My Scripts\\\xC2\xBC\xD6\xC6 1.crec";
  s.AutoPlay = true;
  s.PostJoy = true;
  s.GameMode = true;
  s.ScaleToScreen = true;
  s.PlayKeyPlaysMemo = true;
  s.DelayJitterPercent = 12;
  s.MoveIntervalMs = 40;
  s.MoveMinDistance = 3;
  s.MinimizeToTray = true;
  TSettings back;
  ParseSettings(FormatSettings(s), back);
  EXPECT_EQ(back, s);
}

TEST(SettingsFile, ReaderRules) {
  TSettings s;
  ParseSettings(File("\r\n", " \t name with  spaces \t "), s);
  EXPECT_EQ(s.AutoFileName, "name with  spaces") << "white space around the name is removed, inside kept";
  EXPECT_EQ(s.LoopCount, 7);
  EXPECT_EQ(s.StartKey, 120);
  EXPECT_EQ(s.ShutSeconds, 9);
  EXPECT_TRUE(s.AutoPlay);
  EXPECT_FALSE(s.PostJoy);
  EXPECT_TRUE(s.SendInputJoy);
  EXPECT_FALSE(s.RecMouseMsg);
  EXPECT_TRUE(s.RecKeyMsg);

  // Lines are in effect separated by any white space.
  TSettings t;
  ParseSettings(std::string("1 0\t1\n0 0 1 7 2 3 4 120 121 122 1 0 1 0 5 6 9\r\nname\n1 0 1 0 1"), t);
  EXPECT_TRUE(t.RecMouse);
  EXPECT_TRUE(t.LoopByTime);
  EXPECT_EQ(t.RecordKey, 122);
  EXPECT_EQ(t.AutoFileName, "name");
  EXPECT_TRUE(t.RecKeyMsg);
}

TEST(SettingsFile, FlagsAndHotKeysAreCutAsStored) {
  std::string f = Lines({"2", "-1", "0", "0", "0", "0", "0", "0", "0", "0", "65536", "65537", "-1", "0", "0",
                         "0", "0", "0", "0", "0", "", "0", "0", "0", "0", "0"});
  TSettings s;
  ParseSettings(f, s);
  EXPECT_TRUE(s.RecMouse) << "2 reads as true";
  EXPECT_TRUE(s.RecKey) << "-1 reads as true";
  EXPECT_EQ(s.StartKey, 0) << "65536 keeps its low 16 bits";
  EXPECT_EQ(s.StopKey, 1);
  EXPECT_EQ(s.RecordKey, 65535);
}

TEST(SettingsFile, LineTwentyEndedByLfAloneCostsTheNameItsFirstByte) {
  TSettings s;
  ParseSettings(File("\n", "C:\\x.crec"), s);
  EXPECT_EQ(s.AutoFileName, ":\\x.crec");
  EXPECT_TRUE(s.AutoPlay);
}

TEST(SettingsFile, NameIsCutAfterAThousandBytes) {
  std::string name(1000, 'a');
  TSettings s;
  s.AutoPlay = s.PostJoy = true;
  // The rest of the over-long line ("0 1") is read by the flags that follow.
  ParseSettings(File("\r\n", name + "0 1", ""), s);
  EXPECT_EQ(s.AutoFileName, name);
  EXPECT_FALSE(s.AutoPlay);
  EXPECT_TRUE(s.PostJoy);
}

TEST(SettingsFile, DamagedOrShortFileKeepsWhatItCannotRead) {
  TSettings s = ConstructionSettings();
  s.LoopCount = 42;
  s.AutoFileName = "keep";
  ParseSettings(std::string("0\r\n0\r\n"), s);
  EXPECT_FALSE(s.RecMouse);
  EXPECT_FALSE(s.RecKey);
  EXPECT_TRUE(s.RecJoy) << "a missing flag keeps its value";
  EXPECT_EQ(s.LoopCount, 42);
  EXPECT_TRUE(s.RecKeyMsg);
  EXPECT_EQ(s.AutoFileName, "") << "the name line is read even at the end of the file";

  TSettings t = ConstructionSettings();
  t.LoopCount = 42;
  ParseSettings(std::string("1\r\n1\r\nabc\r\n"), t);
  EXPECT_TRUE(t.RecJoy) << "a line without a number leaves the field";
  EXPECT_EQ(t.LoopCount, 42) << "and every read after it fails on the same text";

  TSettings u;
  ParseSettings(std::string("\0\0\0 9 \xFF\xFE", 8), u);
  EXPECT_EQ(u, TSettings{}) << "NUL and high bytes are not numbers";

  TSettings v;
  ParseSettings(std::string("99999999999999999999 1\r\n"), v);
  EXPECT_TRUE(v.RecMouse) << "an over-long number is still one number";
  EXPECT_TRUE(v.RecKey);
}

TEST(SettingsFile, NameStopsAtNulAndKeepsHighBytes) {
  TSettings s;
  ParseSettings(File("\r\n", std::string("\xB0\xA1 a\0junk", 9)), s);
  EXPECT_EQ(s.AutoFileName, "\xB0\xA1 a");
  EXPECT_TRUE(s.AutoPlay);
}

class SettingsOnDisk : public test::MainWindowFixture {
 protected:
  TSettings Edited() {
    TSettings s = ConstructionSettings();
    s.LoopCount = 9;
    s.AutoFileName = "x y.crec";
    return s;
  }
};

TEST_F(SettingsOnDisk, APortableCopyStartsWithTheDefaultsWritesThemBesideItselfAndReadsThemNextTime) {
  TFrmMain w(Services());
  EXPECT_TRUE(view.boxes.empty()) << "the first start says nothing";
  EXPECT_EQ(w.Settings, ConstructionSettings());
  EXPECT_EQ(dir.Read("Quorlin.qlset"), FormatSettings(ConstructionSettings()));
  w.MnuAboutClick();
  EXPECT_EQ(view.aboutFolder, dir.Str());
  EXPECT_EQ(places.userDataAsked, 0) << "a portable copy never looks at the user's folder";

  dir.Write("Quorlin.qlset", FormatSettings(Edited()));
  TFrmMain again(Services());
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(again.Settings, Edited());
}

TEST_F(SettingsOnDisk, AReadOnlyOrInstalledCopyKeepsThemInTheUsersFolder) {
  test::TempDir user;
  places.userData = user.Str();
  for (const bool installed : {false, true}) {
    SCOPED_TRACE(installed ? "installed" : "read-only");
    places.writable = installed;  // an installed copy may be writable: it still counts as installed
    if (installed) dir.Write("Uninstall.exe", "");
    TFrmMain w(Services());
    EXPECT_TRUE(view.boxes.empty());
    w.MnuAboutClick();
    EXPECT_EQ(view.aboutFolder, user.File("Tesmuro"));
    EXPECT_EQ(user.Read("Tesmuro/Quorlin.qlset"), FormatSettings(ConstructionSettings()));
    EXPECT_FALSE(dir.Exists("Quorlin.qlset"));

    user.Write("Tesmuro/Quorlin.qlset", FormatSettings(Edited()));
    EXPECT_EQ(TFrmMain(Services()).Settings, Edited());
    std::filesystem::remove_all(std::filesystem::u8path(user.File("Tesmuro")));
  }
}

TEST_F(SettingsOnDisk, WithNeitherFolderTheDefaultsServeAndOnlyASaveSaysItFailed) {
  places.writable = false;
  dir.Write("sub", "");  // a file where the program's folder should be: nothing can be written there
  MainWindowServices s = Services();
  s.exeDirectory = dir.File("sub");
  TFrmMain w(s);
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(w.Settings, ConstructionSettings());
  w.MnuAboutClick();
  EXPECT_EQ(view.aboutFolder, dir.File("sub"));
}

TEST_F(SettingsOnDisk, AFileThatIsThereButCannotBeReadIsSaidAndNotOverwritten) {
  places.everythingExists = true;
  TFrmMain w(Services());
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "不能打开输入参数文件！");
  EXPECT_EQ(view.boxes[0].style, kMbOk | kMbIconError);
  EXPECT_FALSE(dir.Exists("Quorlin.qlset"));
}

}  // namespace
}  // namespace tesmuro
