#include "play/replay.h"

#include <gtest/gtest.h>

#include "player_fakes.h"
#include "script/word_reader.h"

namespace tesmuro::play {
namespace {

using test::Gbk;
using test::RecordingSink;
using V = std::vector<std::string>;

// Replays the script's words through `r`, reading them as the player does.
void Feed(ActionReplayer& r, std::string_view utf8) {
  script::MemoryByteStream in(Gbk(utf8));
  script::Word w;
  while (script::ReadWord(in, w)) r.Replay(script::ParseAction(w.View(), in));
}

V Replay(std::string_view utf8, ActionReplayer::Options options = {}, ScreenRect screen = {}) {
  RecordingSink sink;
  sink.screen = screen;
  ActionReplayer r(sink, options);
  Feed(r, utf8);
  return sink.calls;
}

ActionReplayer::Options Joy(bool post, bool hw) {
  ActionReplayer::Options o;
  o.controller = {post, hw};
  return o;
}

// Every button and wheel acts where the run last put the pointer; before the
// first move, after a relative move and in game mode where the pointer is.
TEST(ReplayTest, ButtonsAndWheelsCarryThePlaceOfTheLastMove) {
  EXPECT_EQ(Replay("左键按下 鼠标滚轮 120 5 6 移动 -10,20\r\n左键按下 左键释放 右键按下 右键释放 中键按下 中键释放 "
                   "鼠标滚轮 -120 5 6 移动 3,4 左键释放"),
            (V{"left down", "wheel 120 5 6", "cursor -10,20", "left down -10 20", "left up -10 20",
               "right down -10 20", "right up -10 20", "middle down -10 20", "middle up -10 20",
               "wheel -120 5 6 at -10,20", "cursor 3,4", "left up 3 4"}));
  ActionReplayer::Options game;
  game.gameMode = true;
  EXPECT_EQ(Replay("移动 7,8 左键按下 相对移动 2,2 左键释放", game),
            (V{"cursor 7,8", "left down", "moveby 2,2", "left up"}));
  // A picture's click is a place of its own; the next button acts there too.
  RecordingSink sink;
  ActionReplayer r(sink);
  Feed(r, "移动 1,2");
  r.ClickAt(30, 40);
  Feed(r, "右键按下");
  EXPECT_EQ(sink.calls, (V{"cursor 1,2", "cursor 30,40", "left down 30 40", "left up 30 40", "right down 30 40"}));
}

// The normalised coordinate goes back to the same pixel whether the system
// rounds n * size / 65536 down (Wine) or to the nearest, on screens of many
// sizes and on monitors left of or above the primary one.
TEST(ReplayTest, NormalisedCoordinatesLandOnTheirOwnPixel) {
  for (int32_t size : {640, 800, 1024, 1080, 1280, 1366, 1920, 2560, 3000, 3840, 5120, 7680}) {
    for (int32_t origin : {0, -1920, -1366, 1}) {
      for (int32_t p = origin; p < origin + size; ++p) {
        const int64_t n = NormalisedCoordinate(p, origin, size);
        ASSERT_GE(n, 0);
        ASSERT_LE(n, 65535);
        ASSERT_EQ(origin + n * size / 65536, p) << "rounded down, size " << size << " origin " << origin;
        ASSERT_EQ(origin + (n * size + 32768) / 65536, p) << "to the nearest, size " << size << " origin " << origin;
      }
    }
  }
  // Off the screen: the nearest edge.
  EXPECT_EQ(NormalisedCoordinate(-5000, -1920, 3200), 0);
  EXPECT_EQ(NormalisedCoordinate(9000, -1920, 3200), NormalisedCoordinate(1279, -1920, 3200));
  EXPECT_EQ(NormalisedCoordinate(5, 0, 0), 0);
}

TEST(ReplayTest, WheelTurnIsCutToSigned16Bits) {
  EXPECT_EQ(Replay("鼠标滚轮 -120 5 6\r\n鼠标滚轮 65416 0 0\r\n鼠标滚轮 120 -1 0 鼠标滚轮 98304 0 0"),
            (V{"wheel -120 5 6", "wheel -120 0 0", "wheel 120 -1 0",
               "wheel -32768 0 0"}));
  RecordingSink sink;  // an action built without the reader is cut the same way
  script::Action a{script::ActionKind::Wheel};
  a.wheel = 65416;
  ActionReplayer(sink).Replay(a);
  EXPECT_EQ(sink.calls, V{"wheel -120 0 0"});
}

TEST(ReplayTest, KeysGoWithTheirRecordedScanCodeAndExtendedBit) {
  // The low byte of the code is the virtual key; S and bit 0 of F are the
  // scan code and the extended bit; system keys go like plain ones.
  EXPECT_EQ(Replay("按键按下 65 30 0 735 0\r\n按键弹起 321 30 128 4294967295 0\r\n"
                   "系统按键按下 18 56 32 1 0 系统按键弹起 18 56 160 2 0 按键按下 -1 0 0 0 0 "
                   "按键按下 37 75 1 5 0 按键弹起 37 75 129 6 0"),
            (V{"key 65 30 down", "key 65 30 up", "key 18 56 down", "key 18 56 up", "key 255 0 down",
               "key 37 75e down", "key 37 75e up"}));
  // A line typed by hand without a scan code leaves it to the layout (0).
  EXPECT_EQ(Replay("按键按下 65 0 0 0 0"), V{"key 65 0 down"});
  // Game mode: scan codes only; what a run still holds at its end goes up the same way.
  ActionReplayer::Options game;
  game.gameMode = true;
  RecordingSink sink;
  ActionReplayer r(sink, game);
  Feed(r, "按键按下 87 17 0 0 0 按键按下 38 72 1 0 0");
  r.ReleaseHeld();
  EXPECT_EQ(sink.calls, (V{"key 87 17 down scan-only", "key 38 72e down scan-only", "key 38 72e up scan-only",
                           "key 87 17 up scan-only"}));
}

TEST(ReplayTest, JoystickWordsFollowTheSwitches) {
  const char* script = "摇杆运动 100,200 摇杆按钮按下 257";
  EXPECT_EQ(Replay(script), V{});
  EXPECT_EQ(Replay(script, Joy(true, false)), (V{"joymove 100 200 post", "joybuttons 257 post"}));
  EXPECT_EQ(Replay(script, Joy(false, true)), (V{"joymove 100 200 hw", "joybuttons 257 hw"}));
  EXPECT_EQ(Replay(script, Joy(true, true)), (V{"joymove 100 200 post hw", "joybuttons 257 post hw"}));
  // The axes are 16-bit.
  EXPECT_EQ(Replay("摇杆运动 65535,65537", Joy(false, true)), V{"joymove 65535 1 hw"});
}

TEST(ReplayTest, SideButtonsHorizontalWheelAndRelativeMotion) {
  EXPECT_EQ(Replay("移动 4,5 后退键按下 后退键释放 前进键按下 前进键释放 水平滚轮 -240 0 0 "
                   "相对移动 -3,6 相对移动 7, 0 前进键按下"),
            (V{"cursor 4,5", "x1 down 4 5", "x1 up 4 5", "x2 down 4 5", "x2 up 4 5", "hwheel -240 0 0 at 4,5",
               "moveby -3,6", "moveby 7,0", "x2 down"}));
  RecordingSink sink;
  ActionReplayer r(sink);
  Feed(r, "前进键按下 后退键按下 后退键释放");
  sink.calls.clear();
  r.ReleaseHeld();
  EXPECT_EQ(sink.calls, V{"x2 up"});
}

TEST(ReplayTest, MovesFollowTheScreenLineWhenMappingIsOn) {
  const ScreenRect here{0, 0, 1280, 1024, 96};
  ActionReplayer::Options scale;
  scale.scaleToScreen = true;
  // Recorded on 640x512: the centre there is the centre here.
  EXPECT_EQ(Replay("屏幕 0,0,640,512,96 移动 320,256 移动 0,0 移动 639,511", scale, here),
            (V{"cursor 640,512", "cursor 0,0", "cursor 1278,1022"}));
  // Onto a smaller screen the last pixel stays on it.
  EXPECT_EQ(Replay("屏幕 0,0,1280,1024,96 移动 1279,1023 移动 -1920,0", scale, ScreenRect{0, 0, 640, 512, 96}),
            (V{"cursor 639,511", "cursor -960,0"}));
  // Mapping off: positions as they are.
  EXPECT_EQ(Replay("屏幕 0,0,640,512,96 移动 320,256", {}, here), V{"cursor 320,256"});
  // A layout with a monitor left of the primary, onto one with it above.
  EXPECT_EQ(Replay("屏幕 -1920,0,3840,1080,96 移动 -1920,0 移动 -960,540", scale,
                   ScreenRect{0, -1080, 1920, 2160, 144}),
            (V{"cursor 0,-1080", "cursor 480,0"}));
  // The same area (only the DPI differs), an unknown screen, no screen line,
  // or a damaged one: nothing is mapped.
  EXPECT_EQ(Replay("屏幕 0,0,1280,1024,144 移动 -5,7", scale, here), V{"cursor -5,7"});
  EXPECT_EQ(Replay("屏幕 0,0,640,512,96 移动 320,256", scale, ScreenRect{}), V{"cursor 320,256"});
  EXPECT_EQ(Replay("移动 320,256", scale, here), V{"cursor 320,256"});
  EXPECT_EQ(Replay("屏幕 0,0,0,512,96 移动 320,256 屏幕 0,0,-640,512 移动 1,1", scale, here),
            (V{"cursor 320,256", "cursor 1,1"}));
  // The last screen line read applies to the moves after it.
  EXPECT_EQ(Replay("屏幕 0,0,640,512,96 移动 320,256 屏幕 0,0,1280,1024,96 移动 320,256", scale, here),
            (V{"cursor 640,512", "cursor 320,256"}));
}

TEST(ReplayTest, AScreenThatDiffersIsReportedOnceWhenNotMapped) {
  RecordingSink sink;
  sink.screen = {0, 0, 2560, 1440, 96};
  ActionReplayer r(sink);
  Feed(r, "屏幕 0,0,1920,1080,96");
  EXPECT_FALSE(r.TakeScreenNotice()) << "no move yet";
  Feed(r, "移动 1,1 移动 2,2");
  auto n = r.TakeScreenNotice();
  ASSERT_TRUE(n);
  EXPECT_EQ(n->recorded, (ScreenRect{0, 0, 1920, 1080, 96}));
  EXPECT_EQ(n->current, (ScreenRect{0, 0, 2560, 1440, 96}));
  Feed(r, "屏幕 0,0,800,600,96 移动 1,1");
  EXPECT_FALSE(r.TakeScreenNotice()) << "once per run";

  ActionReplayer::Options scale;
  scale.scaleToScreen = true;
  ActionReplayer mapped(sink, scale);
  Feed(mapped, "屏幕 0,0,1920,1080,96 移动 1,1");
  EXPECT_FALSE(mapped.TakeScreenNotice());
}

TEST(ReplayTest, UnknownWordsDoubleClicksAndDelaysInjectNothing) {
  EXPECT_EQ(Replay("左键双击 右键双击 中键双击 hello 123 延迟 50 ,20"), V{});
}

TEST(ReplayTest, ReleaseHeldLetsGoOfWhatIsStillDownNewestFirst) {
  RecordingSink sink;
  ActionReplayer r(sink);
  Feed(r, "按键按下 16 0 0 0 0 按键按下 16 0 0 0 0 左键按下 按键按下 65 0 0 0 0 "
          "中键按下 中键释放 右键按下 系统按键按下 18 0 0 0 0 按键弹起 65 0 0 0 0 "
          "移动 7,8 右键释放");
  EXPECT_TRUE(r.Holds(16));
  EXPECT_FALSE(r.Holds(65));
  sink.calls.clear();
  r.ReleaseHeld();
  EXPECT_EQ(sink.calls, (V{"key 18 0 up", "left up 7 8", "key 16 0 up"}));
  sink.calls.clear();
  r.ReleaseHeld();
  EXPECT_EQ(sink.calls, V{});
}

TEST(ReplayTest, APauseLiftsWhatIsHeldNewestFirstAndPressesItAgainInItsOrder) {
  RecordingSink sink;
  ActionReplayer r(sink);
  Feed(r, "按键按下 17 0 0 0 0 移动 5,6 右键按下 按键按下 65 0 0 0 0 左键按下 按键弹起 65 0 0 0 0 移动 9,9");
  sink.calls.clear();
  r.LiftHeld();
  r.LiftHeld();  // once only
  EXPECT_EQ(sink.calls, (V{"left up 9 9", "right up 9 9", "key 17 0 up"}));
  sink.calls.clear();
  r.PressAgain();
  r.PressAgain();
  // The cursor goes back to the script's last move before a button goes down again.
  EXPECT_EQ(sink.calls, (V{"cursor 9,9", "key 17 0 down", "right down 9 9", "left down 9 9"}));
  EXPECT_TRUE(r.Holds(17));
  sink.calls.clear();
  r.ReleaseHeld();
  EXPECT_EQ(sink.calls, (V{"left up 9 9", "right up 9 9", "key 17 0 up"}));
}

TEST(ReplayTest, WhatAPauseLiftedIsNotReleasedTwiceNorLeftUpForTheNextAction) {
  RecordingSink sink;
  ActionReplayer r(sink);
  Feed(r, "按键按下 16 0 0 0 0 中键按下");  // no move: the cursor stays where it is
  r.LiftHeld();
  sink.calls.clear();
  r.ReleaseHeld();  // the run ends during the pause: all is up already
  EXPECT_EQ(sink.calls, V{});
  EXPECT_FALSE(r.Lifted());
  r.PressAgain();
  EXPECT_EQ(sink.calls, V{});

  Feed(r, "按键按下 16 0 0 0 0 中键按下");
  r.LiftHeld();
  sink.calls.clear();
  Feed(r, "按键按下 66 0 0 0 0");  // an action while lifted presses the held input first
  EXPECT_EQ(sink.calls, (V{"key 16 0 down", "middle down", "key 66 0 down"}));
  EXPECT_FALSE(r.Lifted());

  ActionReplayer idle(sink);  // nothing held: a pause injects nothing
  sink.calls.clear();
  idle.LiftHeld();
  idle.PressAgain();
  EXPECT_EQ(sink.calls, V{});
}

}  // namespace
}  // namespace tesmuro::play
