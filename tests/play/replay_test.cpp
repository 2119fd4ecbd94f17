#include "play/replay.h"

#include <gtest/gtest.h>

#include "player_fakes.h"
#include "script/word_reader.h"

namespace tesmuro::play {
namespace {

using test::Gbk;
using test::RecordingSink;
using V = std::vector<std::string>;

// Reads the script like the player does and replays every word 
V Replay(std::string_view utf8, bool postJoy = false, bool sendInputJoy = false) {
  RecordingSink sink;
  ActionReplayer r(sink);
  script::MemoryByteStream in(Gbk(utf8));
  script::Word w;
  while (script::ReadWord(in, w)) r.Replay(script::ParseAction(w.View(), in), postJoy, sendInputJoy);
  return sink.calls;
}

TEST(ReplayTest, MouseWordsCarryTheLastMoveCoordinates) {
  EXPECT_EQ(Replay("左键按下 移动 -10,20\r\n左键按下 左键释放 右键按下 右键释放 中键按下 中键释放 "
                   "移动 3,4 左键释放"),
            (V{"mouse 0x2 0 0 0 0", "cursor -10,20", "mouse 0x2 -10 20 0 0", "mouse 0x4 -10 20 0 0",
               "mouse 0x8 -10 20 0 0", "mouse 0x10 -10 20 0 0", "mouse 0x20 -10 20 0 0",
               "mouse 0x40 -10 20 0 0", "cursor 3,4", "mouse 0x4 3 4 0 0"}));
}

TEST(ReplayTest, WheelTurnIsCutToSigned16Bits) {
  EXPECT_EQ(Replay("鼠标滚轮 -120 5 6\r\n鼠标滚轮 65416 0 0\r\n鼠标滚轮 120 -1 0 鼠标滚轮 98304 0 0"),
            (V{"mouse 0x800 5 6 -120 0", "mouse 0x800 0 0 -120 0", "mouse 0x800 -1 0 120 0",
               "mouse 0x800 0 0 -32768 0"}));
  RecordingSink sink;  // an action built without the reader is cut the same way
  script::Action a{script::ActionKind::Wheel};
  a.wheel = 65416;
  ActionReplayer(sink).Replay(a, false, false);
  EXPECT_EQ(sink.calls, V{"mouse 0x800 0 0 -120 0"});
}

TEST(ReplayTest, KeysUseTheLowByteNoScanCodeAndSystemKeysLikePlainOnes) {
  EXPECT_EQ(Replay("按键按下 65 30 0 735 0\r\n按键弹起 321 30 128 4294967295 0\r\n"
                   "系统按键按下 18 56 32 1 0 系统按键弹起 18 56 160 2 0 按键按下 -1 0 0 0 0"),
            (V{"key 65 0 0x0 0", "key 65 0 0x2 0", "key 18 0 0x0 0", "key 18 0 0x2 0", "key 255 0 0x0 0"}));
}

TEST(ReplayTest, JoystickWordsFollowTheSwitches) {
  const char* script = "摇杆运动 100,200 摇杆按钮按下 257";
  EXPECT_EQ(Replay(script), V{});
  EXPECT_EQ(Replay(script, true, false), (V{"post 0x3a0 0 13107300", "post 0x3b5 257 0"}));
  EXPECT_EQ(Replay(script, false, true), (V{"hw 0x3a0 100 200", "hw 0x3b5 257 0"}));
  EXPECT_EQ(Replay(script, true, true),
            (V{"post 0x3a0 0 13107300", "hw 0x3a0 100 200", "post 0x3b5 257 0", "hw 0x3b5 257 0"}));
  // The axes are 16-bit: the hardware record keeps the low halves.
  EXPECT_EQ(Replay("摇杆运动 65535,65537", false, true), V{"hw 0x3a0 65535 1"});
}

TEST(ReplayTest, UnknownWordsDoubleClicksAndDelaysInjectNothing) {
  EXPECT_EQ(Replay("左键双击 右键双击 中键双击 hello 123 延迟 50 ,20"), V{});
}

TEST(ReplayTest, ReleaseHeldLetsGoOfWhatIsStillDownNewestFirst) {
  RecordingSink sink;
  ActionReplayer r(sink);
  script::MemoryByteStream in(Gbk("按键按下 16 0 0 0 0 按键按下 16 0 0 0 0 左键按下 按键按下 65 0 0 0 0 "
                                  "中键按下 中键释放 右键按下 系统按键按下 18 0 0 0 0 按键弹起 65 0 0 0 0 "
                                  "移动 7,8 右键释放"));
  script::Word w;
  while (script::ReadWord(in, w)) r.Replay(script::ParseAction(w.View(), in), false, false);
  EXPECT_TRUE(r.Holds(16));
  EXPECT_FALSE(r.Holds(65));
  sink.calls.clear();
  r.ReleaseHeld();
  EXPECT_EQ(sink.calls, (V{"key 18 0 0x2 0", "mouse 0x4 7 8 0 0", "key 16 0 0x2 0"}));
  sink.calls.clear();
  r.ReleaseHeld();
  EXPECT_EQ(sink.calls, V{});
}

// Replays the script's words through `r`.
void Feed(ActionReplayer& r, std::string_view utf8) {
  script::MemoryByteStream in(Gbk(utf8));
  script::Word w;
  while (script::ReadWord(in, w)) r.Replay(script::ParseAction(w.View(), in), false, false);
}

TEST(ReplayTest, APauseLiftsWhatIsHeldNewestFirstAndPressesItAgainInItsOrder) {
  RecordingSink sink;
  ActionReplayer r(sink);
  Feed(r, "按键按下 17 0 0 0 0 移动 5,6 右键按下 按键按下 65 0 0 0 0 左键按下 按键弹起 65 0 0 0 0 移动 9,9");
  sink.calls.clear();
  r.LiftHeld();
  r.LiftHeld();  // once only
  EXPECT_EQ(sink.calls, (V{"mouse 0x4 9 9 0 0", "mouse 0x10 9 9 0 0", "key 17 0 0x2 0"}));
  sink.calls.clear();
  r.PressAgain();
  r.PressAgain();
  // The cursor goes back to the script's last move before a button goes down again.
  EXPECT_EQ(sink.calls, (V{"cursor 9,9", "key 17 0 0x0 0", "mouse 0x8 9 9 0 0", "mouse 0x2 9 9 0 0"}));
  EXPECT_TRUE(r.Holds(17));
  sink.calls.clear();
  r.ReleaseHeld();
  EXPECT_EQ(sink.calls, (V{"mouse 0x4 9 9 0 0", "mouse 0x10 9 9 0 0", "key 17 0 0x2 0"}));
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
  EXPECT_EQ(sink.calls, (V{"key 16 0 0x0 0", "mouse 0x20 0 0 0 0", "key 66 0 0x0 0"}));
  EXPECT_FALSE(r.Lifted());

  ActionReplayer idle(sink);  // nothing held: a pause injects nothing
  sink.calls.clear();
  idle.LiftHeld();
  idle.PressAgain();
  EXPECT_EQ(sink.calls, V{});
}

}  // namespace
}  // namespace tesmuro::play
