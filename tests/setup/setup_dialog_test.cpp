#include "setup/setup_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <type_traits>

#include "forms/setup_form.h"

namespace tesmuro::setup {
namespace {

namespace id = forms::setup;

std::string Same(std::string_view s) { return std::string(s); }

// A record in which every field differs from its construction value and from
// its neighbours, so a field copied into the wrong control shows.
TSettings Distinct() {
  TSettings s;
  s.RecMouse = true;
  s.RecKey = false;
  s.RecJoy = true;
  s.RecMouseMsg = false;
  s.RecKeyMsg = true;
  s.LoopCount = -7;
  s.LoopHours = 2;
  s.LoopMinutes = 75;
  s.LoopSeconds = 2147483647;
  s.LoopByCount = true;
  s.ShortCutControl = true;
  s.StartKey = 121;
  s.StopKey = 0x4000 + 123;
  s.RecordKey = 0xE07A;
  s.ShutAfterLoops = false;
  s.ShutAfterElapsed = true;
  s.AutoRun = true;
  s.ShutHours = -2147483647 - 1;
  s.ShutMinutes = 3;
  s.ShutSeconds = 4;
  s.AutoFileName = "C:\\my scripts\\a.crec";
  s.AutoPlay = false;
  s.PostJoy = true;
  s.SendInputJoy = false;
  s.SpeedPercent = 250;
  s.GameMode = true;
  s.ScaleToScreen = false;
  s.PlayKeyPlaysMemo = true;
  s.FollowWindows = false;
  s.WaitWindowSeconds = 86400;
  s.DelayJitterPercent = 50;
  s.MoveIntervalMs = 60000;
  s.MoveMinDistance = 0;
  s.MinimizeToTray = true;
  return s;
}

// ---- integer conversion ----

TEST(SetupIntegerConversion, AcceptsTheStandardSyntax) {
  const struct { const char* text; int32_t value; } cases[] = {
      {"0", 0},
      {"12", 12},
      {" 12", 12},
      {"   -3", -3},
      {"+5", 5},
      {"-0", 0},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"00000000000000000000042", 42},
      {"$10", 16},
      {"$ff", 255},
      {"$FFFFFFFF", -1},
      {"$80000000", -2147483647 - 1},
      {"x1F", 31},
      {"X1f", 31},
      {"0x10", 16},
      {"0X10", 16},
      {" 0xABCDEF01", static_cast<int32_t>(0xABCDEF01u)},
      {"$0", 0},
  };
  for (const auto& c : cases) {
    const auto v = TryParseInteger(c.text);
    ASSERT_TRUE(v.has_value()) << "'" << c.text << "'";
    EXPECT_EQ(*v, c.value) << "'" << c.text << "'";
    EXPECT_EQ(ParseInteger(c.text), c.value);
  }
}

TEST(SetupIntegerConversion, RejectsEverythingElse) {
  const char* cases[] = {
      "",            "   ",          "12a",        "12 ",       "1 2",       "a12",   "+",
      "-",           "--1",          "+-1",        "2147483648", "-2147483649", "99999999999999999999",
      "$",           "x",            "0x",         "$G",        "$123456789", "0x123456789", "-$10",
      "+0x10",       "-x1",          "$ 1",        "0x10h",     "\t12",      "12\n",  "１２",
      "1.0",         "1e3",          "00x10",
  };
  for (const char* c : cases) EXPECT_FALSE(TryParseInteger(c).has_value()) << "'" << c << "'";
  EXPECT_FALSE(TryParseInteger(std::string_view("1\0", 2)).has_value()) << "a zero byte is a character too";
}

TEST(SetupIntegerConversion, ErrorNamesTheTextAsTyped) {
  try {
    ParseInteger(" 12a");
    FAIL() << "no error";
  } catch (const InvalidInteger& e) {
    EXPECT_STREQ(e.what(), "“ 12a”不是有效的整数。");
  }
  try {
    ParseInteger("");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "“”不是有效的整数。");
  }
}

// ---- radio buttons ----

TEST(SetupLoopRadios, OneOnTurnsTheOthersOffAndOffLeavesThem) {
  SetupDialogState d;
  SetLoopRadio(d, LoopRadio::Num, true);
  SetLoopRadio(d, LoopRadio::Time, true);
  EXPECT_FALSE(d.Checked(id::kIdRdLoopNum));
  EXPECT_TRUE(d.Checked(id::kIdRdLoopTime));
  SetLoopRadio(d, LoopRadio::Key, false);
  EXPECT_TRUE(d.Checked(id::kIdRdLoopTime)) << "turning another one off changes nothing";
  SetLoopRadio(d, LoopRadio::Time, false);
  EXPECT_FALSE(d.Checked(id::kIdRdLoopNum) || d.Checked(id::kIdRdLoopKey) || d.Checked(id::kIdRdLoopTime));
}

TEST(SetupLoopRadios, FillShowsTheLastModeInFillOrder) {
  struct Case { bool key, count, time; bool rdKey, rdNum, rdTime; };
  const Case cases[] = {
      {true, true, true, false, false, true},   {true, true, false, false, true, false},
      {true, false, true, false, false, true},  {false, true, true, false, false, true},
      {true, false, false, true, false, false}, {false, true, false, false, true, false},
      {false, false, true, false, false, true}, {false, false, false, false, false, false},
  };
  for (const auto& c : cases) {
    TSettings s;
    s.LoopUntilKey = c.key;
    s.LoopByCount = c.count;
    s.LoopByTime = c.time;
    const SetupDialogState d = FillSetupDialog(s, Same);
    EXPECT_EQ(d.Checked(id::kIdRdLoopKey), c.rdKey) << c.key << c.count << c.time;
    EXPECT_EQ(d.Checked(id::kIdRdLoopNum), c.rdNum) << c.key << c.count << c.time;
    EXPECT_EQ(d.Checked(id::kIdRdLoopTime), c.rdTime) << c.key << c.count << c.time;

    // Confirming untouched stores what was shown.
    TSettings back = s;
    ReadSetupDialog(d, back, Same);
    EXPECT_EQ(back.LoopUntilKey, c.rdKey);
    EXPECT_EQ(back.LoopByCount, c.rdNum);
    EXPECT_EQ(back.LoopByTime, c.rdTime);
  }
}

// ---- fill and read back ----

TEST(SetupMapping, FillPutsEveryFieldIntoItsControl) {
  const SetupDialogState d = FillSetupDialog(Distinct(), [](std::string_view s) { return std::string("<").append(s).append(">"); });
  const SetupDialogState e{
      .checked = {id::kIdChkMouse, id::kIdChkJoy, id::kIdChkRecMKey, id::kIdRdLoopNum, id::kIdChkShortCut,
                  id::kIdChkShutPassTime, id::kIdChkAutoRun, id::kIdChkPostJoy, id::kIdChkGameMode,
                  id::kIdChkPlayKeyPlaysMemo, id::kIdChkMinimizeToTray},
      .EditLoopNum = "-7",
      .EditHour = "2",
      .EditMin = "75",
      .EditSec = "2147483647",
      .HotKeyStart = 121,
      .HotKeyStop = 0x4000 + 123,
      .HotKeyRec = 0xE07A,
      .EditPassH = "-2147483648",
      .EditPassM = "3",
      .EditPassS = "4",
      .EditAutoFileName = "<C:\\my scripts\\a.crec>",
      .EditSpeed = "250",
      .EditWaitSeconds = "86400",
      .EditMoveInterval = "60000",
      .EditMoveDistance = "0",
      .EditJitter = "50",
  };
  EXPECT_EQ(d, e);
}

TEST(SetupMapping, ReadBackRestoresTheRecordAndConvertsTheName) {
  TSettings s = Distinct();
  s.LoopCount = 7;  // counts and times read back must not be negative
  s.ShutHours = 600000;
  const SetupDialogState d = FillSetupDialog(s, Same);
  TSettings back = ConstructionSettings();
  ReadSetupDialog(d, back, Same);
  EXPECT_EQ(back, s);

  SetupDialogState edited = d;
  edited.EditAutoFileName = "D:\\x.crec";
  edited.EditLoopNum = " $10";
  edited.HotKeyStart = 0;
  ReadSetupDialog(edited, back, [](std::string_view u) { return std::string("ansi:").append(u); });
  EXPECT_EQ(back.AutoFileName, "ansi:D:\\x.crec");
  EXPECT_EQ(back.LoopCount, 16);
  EXPECT_EQ(back.StartKey, 0);
}

TEST(SetupMapping, ABadNumberStopsTheReadAtItsStep) {
  const TSettings before = Distinct();
  SetupDialogState d = FillSetupDialog(ConstructionSettings(), Same);
  d.Check(id::kIdChkMouse, false);
  d.Check(id::kIdChkKey, false);
  d.Check(id::kIdChkRecMKey, false);
  SetLoopRadio(d, LoopRadio::Time, true);
  d.EditLoopNum = "99";
  d.EditHour = "1h";  // step 10
  d.EditMin = "30";
  d.HotKeyStart = 65;
  d.Check(id::kIdChkAutoRun, false);
  d.EditAutoFileName = "new.crec";

  TSettings s = before;
  EXPECT_THROW(ReadSetupDialog(d, s, Same), InvalidInteger);
  // Steps 1 to 9 are applied.
  EXPECT_FALSE(s.RecMouse);
  EXPECT_FALSE(s.RecKey);
  EXPECT_FALSE(s.RecKeyMsg);
  EXPECT_TRUE(s.LoopByTime);
  EXPECT_FALSE(s.LoopByCount);
  EXPECT_EQ(s.LoopCount, 99);
  // Steps 10 to 26 are not.
  EXPECT_EQ(s.LoopHours, before.LoopHours);
  EXPECT_EQ(s.LoopMinutes, before.LoopMinutes);
  EXPECT_EQ(s.StartKey, before.StartKey);
  EXPECT_EQ(s.AutoRun, before.AutoRun);
  EXPECT_EQ(s.AutoFileName, before.AutoFileName);
  EXPECT_EQ(s.PostJoy, before.PostJoy);

  // A bad last number leaves only the steps after it.
  d.EditHour = "1";
  d.EditPassS = "";
  s = before;
  EXPECT_THROW(ReadSetupDialog(d, s, Same), InvalidInteger);
  EXPECT_EQ(s.LoopHours, 1);
  EXPECT_EQ(s.StartKey, 65);
  EXPECT_FALSE(s.AutoRun);
  EXPECT_EQ(s.ShutMinutes, 0);
  EXPECT_EQ(s.ShutSeconds, before.ShutSeconds);
  EXPECT_EQ(s.AutoFileName, before.AutoFileName);
  EXPECT_EQ(s.PostJoy, before.PostJoy);
}

// The dialog checks itself before it closes: the first box that cannot be
// taken, on whichever page, with the message that names it.
TEST(SetupMapping, CheckNamesTheFirstRefusedBoxAndItsPage) {
  SetupDialogState d = FillSetupDialog(ConstructionSettings(), Same);
  EXPECT_EQ(CheckSetupDialog(d), std::nullopt);
  d.EditSpeed = "200";
  d.EditWaitSeconds = "abc";
  EXPECT_EQ(CheckSetupDialog(d),
            (SetupRefusal{id::kIdEditWaitSeconds, "等待窗口最长秒数必须是 0 到 86400 之间的整数：“abc”。"}));
  d.EditMoveDistance = "-1";  // on the first page, but later in the table
  EXPECT_EQ(CheckSetupDialog(d)->control, id::kIdEditWaitSeconds);
  d.EditLoopNum = "x";
  EXPECT_EQ(CheckSetupDialog(d), (SetupRefusal{id::kIdEditLoopNum, "循环次数必须是整数：“x”。"}));
  d.EditLoopNum = "1";
  d.EditWaitSeconds = "5";
  EXPECT_EQ(CheckSetupDialog(d)->control, id::kIdEditMoveDistance);
  d.EditMoveDistance = "2";
  EXPECT_EQ(CheckSetupDialog(d), std::nullopt);

  EXPECT_EQ(SetupPageOf(id::kIdEditLoopNum), 0);
  EXPECT_EQ(SetupPageOf(id::kIdEditMoveDistance), 0);
  EXPECT_EQ(SetupPageOf(id::kIdEditWaitSeconds), 1);
  EXPECT_EQ(SetupPageOf(id::kIdEditSpeed), 1);
  EXPECT_EQ(SetupPageOf(id::ScriptRowId(3, id::kScriptPasses)), 2);
  // Every box the check can refuse is on a page the table knows.
  for (const SetupField& f : SetupFields()) {
    const bool known = std::any_of(std::begin(id::kControls), std::end(id::kControls),
                                   [&](const auto& c) { return c.id == f.control; });
    EXPECT_TRUE(known) << f.control;
  }
}

TEST(SetupMapping, ANegativeCountOrTimeIsRefusedAtItsStepNamingTheBox) {
  struct Box {
    std::string SetupDialogState::*edit;
    int32_t TSettings::*field;
    const char* name;
  };
  const Box boxes[] = {
      {&SetupDialogState::EditLoopNum, &TSettings::LoopCount, "循环次数"},
      {&SetupDialogState::EditHour, &TSettings::LoopHours, "循环时间的小时数"},
      {&SetupDialogState::EditMin, &TSettings::LoopMinutes, "循环时间的分钟数"},
      {&SetupDialogState::EditSec, &TSettings::LoopSeconds, "循环时间的秒数"},
      {&SetupDialogState::EditPassH, &TSettings::ShutHours, "关机前累计时间的小时数"},
      {&SetupDialogState::EditPassM, &TSettings::ShutMinutes, "关机前累计时间的分钟数"},
      {&SetupDialogState::EditPassS, &TSettings::ShutSeconds, "关机前累计时间的秒数"},
  };
  // Zero, the largest value and a zero with a sign are no negative numbers.
  SetupDialogState d = FillSetupDialog(ConstructionSettings(), Same);
  for (const Box& b : boxes) d.*b.edit = "0";
  d.EditHour = "2147483647";
  d.EditPassH = "-0";
  TSettings s = Distinct();
  ReadSetupDialog(d, s, Same);
  EXPECT_EQ(s.LoopHours, 2147483647);
  EXPECT_EQ(s.ShutHours, 0);

  for (const Box& b : boxes) {
    for (const char* text : {"-1", " -2147483648", "$FFFFFFFF"}) {
      SetupDialogState bad = d;
      bad.Check(id::kIdChkMouse, false);  // step 1: applied before any box
      bad.*b.edit = text;
      bad.EditAutoFileName = "new.crec";  // step 23: after every box
      TSettings t = Distinct();
      try {
        ReadSetupDialog(bad, t, Same);
        ADD_FAILURE() << b.name << " took " << text;
      } catch (const NegativeInteger& e) {
        EXPECT_EQ(e.what(), std::string(b.name) + "不能为负数：“" + text + "”。");
      }
      EXPECT_FALSE(t.RecMouse) << b.name;
      EXPECT_EQ(t.*b.field, Distinct().*b.field) << b.name << ": the box's own field is kept";
      EXPECT_EQ(t.AutoFileName, Distinct().AutoFileName) << b.name;
    }
  }
}

TEST(SetupMapping, TheSpeedBoxTakesAnIntegerFrom10To10000) {
  SetupDialogState d = FillSetupDialog(ConstructionSettings(), Same);
  EXPECT_EQ(d.EditSpeed, "100");
  for (const char* good : {"10", "10000", " 250"}) {
    d.EditSpeed = good;
    TSettings s = ConstructionSettings();
    ReadSetupDialog(d, s, Same);
    EXPECT_EQ(s.SpeedPercent, std::stoi(good));
  }
  struct Bad {
    const char* text;
    std::string message;
  } bads[] = {
      {"2.5", "播放速度必须是 10 到 10000 之间的整数：“2.5”。"},
      {"", "播放速度必须是 10 到 10000 之间的整数：“”。"},
      {"9", "播放速度必须是 10 到 10000 之间的整数：“9”。"},
      {"-100", "播放速度必须是 10 到 10000 之间的整数：“-100”。"},
      {"10001", "播放速度必须是 10 到 10000 之间的整数：“10001”。"},
  };
  for (const auto& b : bads) {
    d.EditSpeed = b.text;
    TSettings s = Distinct();
    try {
      ReadSetupDialog(d, s, Same);
      ADD_FAILURE() << "took " << b.text;
    } catch (const InvalidInteger& e) {
      EXPECT_EQ(e.what(), b.message);
    }
    EXPECT_EQ(s.SpeedPercent, 250) << "a refused speed keeps the old one";
  }
}

TEST(SetupMapping, TheWaitBoxTakesWholeSecondsFrom0To86400AndNamesItselfOtherwise) {
  SetupDialogState d = FillSetupDialog(ConstructionSettings(), Same);
  EXPECT_EQ(d.EditWaitSeconds, "10");
  for (const char* good : {"0", "86400", " 30", "$3C"}) {
    d.EditWaitSeconds = good;
    TSettings s = ConstructionSettings();
    ReadSetupDialog(d, s, Same);
    EXPECT_EQ(s.WaitWindowSeconds, *TryParseInteger(good)) << good;
  }
  for (const char* bad : {"86401", "-1", "2.5", "", "10s"}) {
    d.EditWaitSeconds = bad;
    TSettings s = Distinct();
    try {
      ReadSetupDialog(d, s, Same);
      ADD_FAILURE() << "took " << bad;
    } catch (const InvalidInteger& e) {
      EXPECT_EQ(e.what(), "等待窗口最长秒数必须是 0 到 86400 之间的整数：“" + std::string(bad) + "”。");
    }
    EXPECT_EQ(s.WaitWindowSeconds, 86400) << "a refused limit keeps the old one";
  }
}

// ---- the window's controls ----

TEST(SetupFields, EveryValueControlOfTheFormIsInTheTableOnceAndOfItsKind) {
  // The window moves the state in and out of its controls by the table: a
  // control left out would keep what it showed, and one of another kind would
  // be sent the wrong messages.
  using forms::setup::Kind;
  std::set<int> inTable;
  for (const SetupField& f : SetupFields()) {
    EXPECT_TRUE(inTable.insert(f.control).second) << f.control << " twice";
    const Kind kind = std::visit(
        [](const auto& l) {
          using L = std::decay_t<decltype(l)>;
          if constexpr (std::is_same_v<L, links::Check>) return Kind::Check;
          else if constexpr (std::is_same_v<L, links::Radio>) return Kind::Radio;
          else if constexpr (std::is_same_v<L, links::HotKey>) return Kind::HotKey;
          else return Kind::Edit;
        },
        f.link);
    bool found = false;
    for (const auto& c : forms::setup::kControls)
      if (c.id == f.control) {
        found = true;
        EXPECT_EQ(c.kind, kind) << f.control;
      }
    EXPECT_TRUE(found) << f.control << " is no control of the form";
  }
  for (const auto& c : forms::setup::kControls) {
    const bool showsAValue = c.kind != Kind::Label && c.kind != Kind::GlyphButton;
    EXPECT_TRUE(!showsAValue || inTable.count(c.id)) << c.id << " is not in the table";
  }
}

// ---- hot-key boxes ----

TEST(SetupHotKeys, ConvertBetweenTheBoxAndTheShortcutCode) {
  constexpr uint16_t F10 = 121, Del = 0x2E, A = 0x41;
  EXPECT_EQ(HotKeyToShortcut(F10), 121);
  EXPECT_EQ(HotKeyToShortcut(F10 | kHotKeyControl << 8), 16505);
  EXPECT_EQ(HotKeyToShortcut(A | (kHotKeyAlt | kHotKeyShift) << 8), 0x8000 + 0x2000 + 0x41);
  EXPECT_EQ(HotKeyToShortcut(A | (kHotKeyAlt | kHotKeyControl | kHotKeyShift) << 8), 0xE041);
  EXPECT_EQ(HotKeyToShortcut(Del | (kHotKeyExt | kHotKeyControl) << 8), 0x4000 + Del) << "the extended bit is no modifier";
  EXPECT_EQ(HotKeyToShortcut(0), 0);

  EXPECT_EQ(ShortcutToHotKey(121), F10);
  EXPECT_EQ(ShortcutToHotKey(16505), F10 | kHotKeyControl << 8);
  EXPECT_EQ(ShortcutToHotKey(0x4000 + Del), Del | (kHotKeyControl | kHotKeyExt) << 8);
  EXPECT_EQ(ShortcutToHotKey(0x2000 + 0x25), 0x25 | (kHotKeyShift | kHotKeyExt) << 8) << "Left arrow";
  EXPECT_EQ(ShortcutToHotKey(0), 0);
  // Every shortcut code made of a key and the three modifiers survives the box.
  for (uint32_t mods = 0; mods < 8; ++mods)
    for (uint32_t vk = 0; vk < 256; ++vk) {
      const auto code = static_cast<uint16_t>(vk | mods << 13);
      EXPECT_EQ(HotKeyToShortcut(ShortcutToHotKey(code)), code);
    }
}


TEST(SetupMapping, TheRandomShareAndMoveBoxesTakeWholeNumbersWithinTheirRanges) {
  const struct { std::string SetupDialogState::*edit; const char* good; const char* bad; const char* message; } boxes[] = {
      {&SetupDialogState::EditJitter, "50", "51", "延迟随机浮动必须是 0 到 50 之间的整数：“51”。"},
      {&SetupDialogState::EditMoveInterval, "60000", "-1", "移动记录间隔必须是 0 到 60000 之间的整数：“-1”。"},
      {&SetupDialogState::EditMoveDistance, "0", "2px", "移动最小距离必须是 0 到 10000 之间的整数：“2px”。"},
  };
  const SetupDialogState d = FillSetupDialog(ConstructionSettings(), Same);
  EXPECT_EQ(d.EditJitter, "0");
  for (const auto& b : boxes) {
    SetupDialogState good = d;
    good.*b.edit = b.good;
    TSettings s = ConstructionSettings();
    ReadSetupDialog(good, s, Same);
    SetupDialogState bad = d;
    bad.*b.edit = b.bad;
    TSettings t = s;
    try {
      ReadSetupDialog(bad, t, Same);
      ADD_FAILURE() << b.message;
    } catch (const OutOfRange& e) {
      EXPECT_EQ(e.what(), std::string(b.message));
    }
    EXPECT_EQ(t, s) << b.message;
  }
}

// ---- the third page: script hot keys ----

constexpr uint16_t kCtrl = 0x4000, kF5 = 0x74, kF6 = 0x75, kF9 = 0x78;

TEST(SetupScriptKeys, FillAndReadBackKeepTheRowsAndSkipBlankOnes) {
  const ScriptHotKey rows[] = {{kCtrl | kF5, "C:\\a.crec", 1}, {kF6, "脚本\\b.crec", 2147483647}};
  SetupDialogState d = FillSetupDialog(ConstructionSettings(), Same);
  FillScriptKeys(d, rows);
  EXPECT_EQ(d.ScriptKeys[0], (ScriptKeyBoxes{kCtrl | kF5, "C:\\a.crec", "1"}));
  EXPECT_EQ(d.ScriptKeys[1], (ScriptKeyBoxes{kF6, "脚本\\b.crec", "2147483647"}));
  for (size_t i = 2; i < d.ScriptKeys.size(); ++i) EXPECT_EQ(d.ScriptKeys[i], ScriptKeyBoxes{}) << i;
  EXPECT_EQ(d, [&] {
    SetupDialogState refilled = d;
    FillScriptKeys(refilled, rows);  // filling again leaves nothing of the old rows
    return refilled;
  }());

  ScriptKeysRead read = ReadScriptKeys(d);
  EXPECT_EQ(read.refusal, "");
  EXPECT_EQ(read.row, -1);
  EXPECT_EQ(read.rows, (std::vector<ScriptHotKey>(std::begin(rows), std::end(rows))));

  // A blank row between two used ones, whatever its passes; spaces around a name go.
  d.ScriptKeys[1] = ScriptKeyBoxes{0, "  ", "x"};
  d.ScriptKeys[5] = ScriptKeyBoxes{kF9, " c.crec ", " 7"};
  read = ReadScriptKeys(d);
  EXPECT_EQ(read.refusal, "");
  EXPECT_EQ(read.rows, (std::vector<ScriptHotKey>{rows[0], {kF9, "c.crec", 7}}));
}

TEST(SetupScriptKeys, ARowThatCannotBeHadIsRefusedNamingItAndWhy) {
  SetupDialogState base = FillSetupDialog(ConstructionSettings(), Same);
  base.HotKeyStart = kCtrl | kF9;
  base.HotKeyStop = kF6;
  base.ScriptKeys[0] = {kCtrl | kF5, "a.crec", "1"};
  const struct {
    ScriptKeyBoxes row;  // the page's third row
    const char* refusal;
  } cases[] = {
      {{kCtrl | kF9, "b.crec", "1"}, "脚本热键第 3 行（Ctrl+F9）不能使用：与开始播放键相同。"},
      {{kF6, "b.crec", "1"}, "脚本热键第 3 行（F6）不能使用：与停止键相同。"},
      {{kCtrl | kF5, "b.crec", "1"}, "脚本热键第 3 行（Ctrl+F5）不能使用：与第 1 行的热键相同。"},
      {{0x13, "b.crec", "1"}, "脚本热键第 3 行（Pause）不能使用：Pause 是紧急停止键。"},
      {{0, "b.crec", "1"}, "脚本热键第 3 行不能使用：没有热键。"},
      {{kF5, "", "1"}, "脚本热键第 3 行（F5）不能使用：没有脚本文件。"},
      {{kF5, "b.crec", "0"}, "脚本热键第 3 行（F5）不能使用：遍数必须是 1 到 2147483647 之间的整数：“0”。"},
      {{kF5, "b.crec", "2147483648"},
       "脚本热键第 3 行（F5）不能使用：遍数必须是 1 到 2147483647 之间的整数：“2147483648”。"},
      {{kF5, "b.crec", ""}, "脚本热键第 3 行（F5）不能使用：遍数必须是 1 到 2147483647 之间的整数：“”。"},
  };
  for (const auto& c : cases) {
    SetupDialogState d = base;
    d.ScriptKeys[2] = c.row;
    const ScriptKeysRead read = ReadScriptKeys(d, [](uint16_t) { return false; });
    EXPECT_EQ(read.refusal, c.refusal);
    EXPECT_EQ(read.row, 2) << c.refusal;
    EXPECT_TRUE(read.rows.empty()) << c.refusal;
  }
}

TEST(SetupScriptKeys, TheSystemIsAskedOnlyAboutKeysThatPassEveryOtherCheck) {
  SetupDialogState d = FillSetupDialog(ConstructionSettings(), Same);
  d.HotKeyRec = kF9;
  d.ScriptKeys[0] = {kCtrl | kF5, "a.crec", "1"};
  d.ScriptKeys[1] = {kF9, "b.crec", "1"};  // the Record key's
  d.ScriptKeys[3] = {kF6, "c.crec", "1"};
  std::vector<uint16_t> asked;
  ScriptKeysRead read = ReadScriptKeys(d, [&](uint16_t key) {
    asked.push_back(key);
    return false;
  });
  EXPECT_EQ(read.refusal, "脚本热键第 2 行（F9）不能使用：与开始录制键相同。");
  EXPECT_EQ(asked, (std::vector<uint16_t>{kCtrl | kF5}));

  d.ScriptKeys[1] = {};
  asked.clear();
  read = ReadScriptKeys(d, [&](uint16_t key) {
    asked.push_back(key);
    return key == kF6;  // another program holds it
  });
  EXPECT_EQ(read.refusal, "脚本热键第 4 行（F6）不能使用：这个热键已被系统或其他程序占用。");
  EXPECT_EQ(read.row, 3);
  EXPECT_EQ(asked, (std::vector<uint16_t>{kCtrl | kF5, kF6}));
}

}  // namespace
}  // namespace tesmuro::setup
