#include <gtest/gtest.h>

#include <limits>

#include "editor/box_rules.h"

namespace tesmuro::editor {
namespace {

TEST(BoxRules, StepsCountRowsButNotTheRowAfterTheLastLineBreak) {
  EXPECT_EQ(StepCount(1, /*lastEmpty=*/true, 0), 0);  // empty box
  EXPECT_EQ(StepCount(3, true, 0), 2);                // "a\r\nb\r\n"
  EXPECT_EQ(StepCount(2, false, 0), 2);               // "a\r\nb" (typed, no line end)
  // A line wrapped into three rows counts three times.
  EXPECT_EQ(StepCount(1 + 3 + 1, true, 0), 4);
  // Lines still waiting to go into the box count too.
  EXPECT_EQ(StepCount(1, true, 5), 5);
  EXPECT_EQ(StepCount(0, true, 0), 0);
  // Far beyond what an int holds: the counter stops at its largest value.
  EXPECT_EQ(StepCount(int64_t{1} << 40, false, 7), std::numeric_limits<int>::max());
}

TEST(BoxRules, ThePlayedRowIsKeptInViewWithoutNeedlessScrolling) {
  // In view: nothing moves, to the last row on screen.
  EXPECT_EQ(FirstRowToShow(10, 0, 20), -1);
  EXPECT_EQ(FirstRowToShow(19, 0, 20), -1);
  // Just below or above the view: it moves so the row is a third of the way down.
  EXPECT_EQ(FirstRowToShow(20, 0, 20), 14);
  EXPECT_EQ(FirstRowToShow(5, 100, 30), 0);
  EXPECT_EQ(FirstRowToShow(500, 100, 30), 490);
  // A box too small to show a row, and no row at all.
  EXPECT_EQ(FirstRowToShow(7, 0, 0), 7);
  EXPECT_EQ(FirstRowToShow(-1, 0, 20), -1);
}

TEST(BoxRules, LineNumberMarginGrowsWithTheScript) {
  EXPECT_EQ(LineNumberDigits(0), 3);
  EXPECT_EQ(LineNumberDigits(999), 3);
  EXPECT_EQ(LineNumberDigits(1000), 4);
  EXPECT_EQ(LineNumberDigits(1000000), 7);
  EXPECT_EQ(LineNumberDigits(std::numeric_limits<int64_t>::max()), 19);
}

}  // namespace
}  // namespace tesmuro::editor
