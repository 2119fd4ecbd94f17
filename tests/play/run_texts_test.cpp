// The state line both programs show (the numbers they read: the table in
// tests/linux/cli_parse_test.cpp, through both command lines).
#include <gtest/gtest.h>

#include "play/run_texts.h"

namespace tesmuro::play {
namespace {

TEST(PlayStateText, EveryModeAndState) {
  Progress p;
  EXPECT_EQ(PlayStateText(false, p), "就绪");
  EXPECT_EQ(PlayStateText(true, p), "录制中");
  p.playing = true;
  p.passesDone = 1;
  p.passCount = 3;
  EXPECT_EQ(PlayStateText(true, p), "播放 2/3") << "a run shows over a recording";
  p.passesDone = 3;
  EXPECT_EQ(PlayStateText(false, p), "播放 3/3") << "never beyond the total";
  p.paused = true;
  EXPECT_EQ(PlayStateText(false, p), "暂停 3/3");
  p.paused = false;
  p.mode = 1;
  p.passesDone = 41;
  EXPECT_EQ(PlayStateText(false, p), "播放 第42遍");
  p.mode = 2;
  p.secondsLeft = 3723;
  EXPECT_EQ(PlayStateText(false, p), "播放 剩 1:02:03");
  p.secondsLeft = 100 * 3600 + 59;
  EXPECT_EQ(PlayStateText(false, p), "播放 剩 100:00:59");
  p.secondsLeft = -5;
  EXPECT_EQ(PlayStateText(false, p), "播放 剩 0:00:00") << "the last pass goes on past the time";
}

}  // namespace
}  // namespace tesmuro::play
