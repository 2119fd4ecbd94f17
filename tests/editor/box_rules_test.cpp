#include <gtest/gtest.h>

#include <limits>
#include <string>

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

TEST(BoxRules, ChangedLinesCoverWholeLinesAndLeaveTheSharedStartAndEnd) {
  auto change = [](std::string_view a, std::string_view b) {
    const LineChange c = ChangedLines(a, b);
    return std::string(a.substr(c.start, c.oldEnd - c.start)) + "|" +
           std::string(b.substr(c.start, c.newEnd - c.start));
  };
  // A delay that grew and the move before it gone: the lines between.
  EXPECT_EQ(change("d 1\r\nm 1\r\nd 2\r\nm 2\r\nx\r\n", "d 1\r\nd 3\r\nm 2\r\nx\r\n"), "m 1\r\nd 2\r\n|d 3\r\n");
  // Within a line the whole line goes, even where the lines start and end alike.
  EXPECT_EQ(change("a\nb12b\nc", "a\nb1b\nc"), "b12b\n|b1b\n");
  EXPECT_EQ(change("a\nb\n", "a\nxb\n"), "b\n|xb\n");
  // Lines only taken away or only added, at the start, in the middle, at the end.
  EXPECT_EQ(change("x\na\n", "a\n"), "x\n|");
  EXPECT_EQ(change("a\n", "x\na\n"), "|x\n");
  EXPECT_EQ(change("a\nb\nc\n", "a\nc\n"), "b\n|");
  EXPECT_EQ(change("a\nb", "a\n"), "b|");
  EXPECT_EQ(change("", "a"), "|a");
  const LineChange same = ChangedLines("a\nb", "a\nb");
  EXPECT_EQ(same.start, 3u);
  EXPECT_EQ(same.oldEnd, 3u);
  EXPECT_EQ(same.newEnd, 3u);
}

TEST(BoxRules, LinesKeepTheirPlaceThroughAChange) {
  // Lines 10 to 109 became 10 to 29.
  EXPECT_EQ(LineAfterChange(3, 10, 100, 20), 3);
  EXPECT_EQ(LineAfterChange(10, 10, 100, 20), 10);
  EXPECT_EQ(LineAfterChange(60, 10, 100, 20), 20);
  EXPECT_EQ(LineAfterChange(109, 10, 100, 20), 29);
  EXPECT_EQ(LineAfterChange(110, 10, 100, 20), 30);
  // Every line of the change taken away: its lines go to where it was.
  EXPECT_EQ(LineAfterChange(12, 10, 5, 0), 10);
  EXPECT_EQ(LineAfterChange(15, 10, 5, 0), 10);
}

}  // namespace
}  // namespace tesmuro::editor
