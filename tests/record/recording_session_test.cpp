// The recording session on its own, as a program without the main window
// (the Linux one) uses it: lines go to the sink it is given.
#include "record/recording_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fakes.h"

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

  session.Stop();
  EXPECT_FALSE(session.Recording());
  EXPECT_FALSE(hooks.mouseInstalled);
  EXPECT_TRUE(hooks.keyInstalled) << "the hot keys keep working";
  session.OnMouseEvent(Move(6000, 1, 1));
  EXPECT_EQ(out.lines.size(), 4u);
  session.Close();
  EXPECT_FALSE(hooks.keyInstalled);
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

}  // namespace
}  // namespace tesmuro
