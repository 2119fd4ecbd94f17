// The recording session on its own, as a program without the main window
// (the Linux one) uses it: lines go to the sink it is given.
#include "record/recording_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "setup/settings.h"
#include "support/fakes.h"
#include "../play/player_fakes.h"
#include "os/pc_keyboard.h"
#include "script/script_format.h"

namespace tesmuro {
namespace {

struct Lines final : RecordSink {
  std::vector<std::string> lines;
  int syncs = 0;
  void SyncLastEventTime() override { ++syncs; }
  void AppendLine(std::string_view gbk) override { lines.emplace_back(gbk); }
  void SetStatusText(int, std::string_view) override {}
};

struct SessionTest : ::testing::Test {
  test::CallLog log;
  test::FakeClock clock;
  test::FakeHooks hooks{log};
  test::FakeJoysticks joys{log};
  Lines out;
  RecordingSession session{hooks, clock, joys, out};

  static MouseHookEvent Move(uint32_t tick, int x, int y) {
    MouseHookEvent e;
    e.message = 0x200;
    e.tick = tick;
    e.x = x;
    e.y = y;
    return e;
  }
};

TEST_F(SessionTest, StartRecordsThroughItsOwnClockAndStopReleasesAllButTheKeyboardHook) {
  clock.now = 5000;
  session.Start({.mouse = true, .keys = true});
  EXPECT_TRUE(session.Recording());
  EXPECT_TRUE(hooks.mouseInstalled && hooks.keyInstalled);
  session.OnMouseEvent(Move(5040, 3, 4));
  KeyHookEvent k;
  k.message = 0x100;
  k.vk = 65;
  k.scanCode = 30;
  k.tick = 5100;
  EXPECT_EQ(session.OnKeyEvent(k), HotKeyCommand::None);
  ASSERT_EQ(out.lines.size(), 4u);
  EXPECT_EQ(out.lines[0], "\xD1\xD3\xB3\xD9 40");
  EXPECT_EQ(out.lines[2], "\xD1\xD3\xB3\xD9 60") << "the keyboard's delay counts from the mouse event";
  EXPECT_EQ(out.syncs, 0) << "the session merges the clocks itself";
  EXPECT_EQ(session.LastEventTime, 5040u) << "merged before the key's own time was taken";
  KeyHookEvent pause;
  pause.message = 0x100;
  pause.vk = 0x13;
  EXPECT_EQ(session.OnKeyEvent(pause), HotKeyCommand::EmergencyStop) << "the user's Pause stops a recording";
  EXPECT_EQ(out.lines.size(), 6u) << "and is recorded";

  session.Stop();
  EXPECT_FALSE(session.Recording());
  EXPECT_FALSE(hooks.mouseInstalled);
  EXPECT_TRUE(hooks.keyInstalled) << "the hot keys keep working";
  session.OnMouseEvent(Move(6000, 1, 1));
  EXPECT_EQ(out.lines.size(), 6u);
  EXPECT_EQ(session.OnKeyEvent(pause), HotKeyCommand::None) << "nothing runs";
  EXPECT_EQ(session.OnKeyEvent(pause, /*playing=*/true), HotKeyCommand::EmergencyStop);
  session.Close();
  EXPECT_FALSE(hooks.keyInstalled);
}

TEST_F(SessionTest, StartWritesTheScreenLineFirstAndServesTheHotKeysWhateverIsRecorded) {
  session.Start({.mouse = true, .hotKeys = {.record = 0, .play = 0, .stop = 123}, .screen = {-1920, 0, 3840, 1080, 144}});
  EXPECT_EQ(out.lines, std::vector<std::string>{"\xC6\xC1\xC4\xBB -1920,0,3840,1080,144"});
  EXPECT_TRUE(hooks.keyInstalled) << "keys not recorded: the stop key works all the same";
  KeyHookEvent stop;
  stop.message = 0x100;
  stop.vk = 123;
  EXPECT_EQ(session.OnKeyEvent(stop), HotKeyCommand::Stop);
  EXPECT_EQ(out.lines.size(), 1u) << "keys are not recorded";
}

TEST_F(SessionTest, GameModeTakesRawMotionOnlyWithTheMouseAndPauseKeepsTheHotKeys) {
  session.Start({.keys = true, .gameMode = true});
  EXPECT_EQ(hooks.rawInstalled, 0) << "no mouse recorder, no raw input";
  session.Start({.mouse = true, .gameMode = true});
  EXPECT_EQ(hooks.rawInstalled, 1);
  EXPECT_TRUE(session.Mouse().GameMode());
  session.Pause();
  EXPECT_FALSE(session.Recording());
  EXPECT_TRUE(hooks.keyInstalled);
  EXPECT_EQ(hooks.rawInstalled, 1) << "a run leaves raw input to the next Stop";
  session.Stop();
  EXPECT_EQ(hooks.rawInstalled, 0);
}

TEST_F(SessionTest, ControllersStartOnlyWhenAskedAndPresent) {
  joys.numDevs = 1;
  joys.posResults = {{0, 0}, {1, 0}, {2, 0}};
  int told = 0;
  session.Start({.keys = true});
  session.StartControllers([&] { ++told; });
  EXPECT_FALSE(session.JoyRecording);
  session.Start({.joy = true});
  session.StartControllers([&] { ++told; });
  EXPECT_TRUE(session.JoyRecording);
  EXPECT_EQ(told, 1) << "three controllers: only two are recorded";
  session.OnJoy1ButtonDown(257);
  EXPECT_EQ(out.lines.back(), "\xD2\xA1\xB8\xCB\xB0\xB4\xC5\xA5\xB0\xB4\xCF\xC2 257");
}

// A clock that moves on a little every time it is read, as the system's does
// between two readings.
struct DriftingClock final : IClock {
  uint32_t now = 0;
  uint32_t drift = 0;
  uint32_t TickCount() override {
    const uint32_t t = now;
    now += drift;
    return t;
  }
};

TEST_F(SessionTest, AButtonOrKeyGoingDownNamesItsWindowWhenItChanged) {
  play::test::FakeDesktop desktop;
  TopWindow a;
  a.id = 1;
  a.process = "a.exe";
  a.className = "A";
  a.title = "左键按下";  // a title that reads like a keyword stays one quoted token
  a.rect = {0, 0, 100, 100};
  TopWindow b = a;
  b.id = 2;
  b.title = "B";
  b.rect = {100, 0, 100, 100};
  TopWindow own = a;
  own.id = 3;
  own.own = true;
  own.rect = {200, 0, 100, 100};
  desktop.windows = {a, b, own};
  session.UseDesktop(&desktop);
  session.Start({.mouse = true, .keys = true});
  auto click = [&](int x) {
    MouseHookEvent e = Move(0, x, 5);
    e.message = 0x201;
    session.OnMouseEvent(e);
    e.message = 0x202;
    session.OnMouseEvent(e);
  };
  click(10);
  click(20);   // the same window: no second line
  click(150);
  click(250);  // our own window: none
  KeyHookEvent k;
  k.message = 0x100;
  k.vk = 65;
  session.OnKeyEvent(k);  // the window in front is a's
  const std::string lineA = script::WindowLine("win", "a.exe", "A", "左键按下", 0, 0, 100, 100);
  const std::string lineB = script::WindowLine("win", "a.exe", "A", "B", 100, 0, 100, 100);
  std::vector<std::string> windowLines;
  for (size_t i = 0; i < out.lines.size(); ++i) {
    if (out.lines[i].rfind(std::string(script::kKeywordWindow), 0) != 0) continue;
    windowLines.push_back(out.lines[i]);
    ASSERT_GT(i, 0u);
    EXPECT_EQ(out.lines[i - 1].rfind(std::string(script::kKeywordDelay), 0), 0u) << "after the delay line";
  }
  EXPECT_EQ(windowLines, (std::vector<std::string>{lineA, lineB, lineA}));
  EXPECT_EQ(out.lines.size(), 8u * 2 + 2 + 3) << "eight mouse and one key event, three window lines";
}

TEST_F(SessionTest, KeysThePlayerInjectsRunNoHotKey) {
  session.Start({.keys = true, .hotKeys = {.stop = 122}});
  KeyHookEvent k;
  k.message = 0x100;
  k.vk = 122;
  k.flags = 0x10;  // injected
  k.extraInfo = os::kPlayerInputTag;
  EXPECT_EQ(session.OnKeyEvent(k, /*playing=*/true), HotKeyCommand::None) << "the script's own stop key";
  k.extraInfo = 0;  // another program's injected key, or the user's
  EXPECT_EQ(session.OnKeyEvent(k, true), HotKeyCommand::Stop);
  k.flags = 0;
  EXPECT_EQ(session.OnKeyEvent(k, true), HotKeyCommand::Stop);
}

TEST(RecordingClock, AControllerDelayLineAndTheNextDelayCountFromOneReading) {
  test::CallLog log;
  DriftingClock clock;
  test::FakeHooks hooks{log};
  test::FakeJoysticks joys{log};
  Lines out;
  RecordingSession session{hooks, clock, joys, out};
  joys.numDevs = 1;
  joys.posResults = {{0, 0}};
  clock.now = 1000;
  session.Start({.mouse = true, .joy = true});
  session.StartControllers({});
  clock.drift = 3;
  clock.now = 1500;
  session.OnJoy1ButtonDown(1);
  session.OnMouseEvent(SessionTest::Move(1600, 7, 8));
  clock.now = 1750;
  session.OnJoy1ButtonDown(2);
  ASSERT_EQ(out.lines.size(), 6u);
  EXPECT_EQ(out.lines[0], "\xD1\xD3\xB3\xD9 500");
  EXPECT_EQ(out.lines[2], "\xD1\xD3\xB3\xD9 100") << "the move 100 ms after the button";
  EXPECT_EQ(out.lines[4], "\xD1\xD3\xB3\xD9 150");
}

TEST(RecordingOptionsFor, TheSettingsRecordersAndHotKeysThenWhatTheRequestSays) {
  TSettings s = ConstructionSettings();
  s.RecKey = false;
  s.RecordKey = 120;
  s.StartKey = 121;
  s.StopKey = 122;
  s.ShortCutControl = true;
  EXPECT_EQ(RecordingOptionsFor(s), (RecordingOptions{.mouse = true, .keys = false, .joy = true,
                                                       .hotKeys = {120, 121, 122, true}}));
  EXPECT_EQ(RecordingOptionsFor(s, {.stopKeyOnly = true}).hotKeys, (HotKeys{0, 0, 122, true}))
      << "a program that only records has no Record or Play for a key to start";

  struct Case {
    bool recMouse, recKey, noMouse, noKeys;
    bool mouse, keys;
  };
  const Case cases[] = {
      {true, true, false, false, true, true},
      {false, false, true, false, false, true},  // the one left is recorded whatever the settings say
      {false, false, false, true, true, false},
      {true, true, true, false, false, true},
      {true, true, false, true, true, false},
  };
  for (const Case& c : cases) {
    s.RecMouse = c.recMouse;
    s.RecKey = c.recKey;
    const RecordingOptions o = RecordingOptionsFor(s, {.noMouse = c.noMouse, .noKeys = c.noKeys});
    EXPECT_EQ(o.mouse, c.mouse) << c.recMouse << c.recKey << c.noMouse << c.noKeys;
    EXPECT_EQ(o.keys, c.keys) << c.recMouse << c.recKey << c.noMouse << c.noKeys;
  }

  // Game mode, by the settings or for one recording, where the mouse is recorded.
  s.RecMouse = true;
  EXPECT_FALSE(RecordingOptionsFor(s).gameMode);
  EXPECT_TRUE(RecordingOptionsFor(s, {.gameMode = true}).gameMode);
  s.GameMode = true;
  EXPECT_TRUE(RecordingOptionsFor(s).gameMode);
  EXPECT_FALSE(RecordingOptionsFor(s, {.noMouse = true}).gameMode);
}

}  // namespace
}  // namespace tesmuro
