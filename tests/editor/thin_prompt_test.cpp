#include <gtest/gtest.h>

#include "editor/thin_prompt.h"
#include "script/thin_moves.h"

namespace tesmuro::editor {
namespace {

TEST(ThinPrompt, ToleranceIsAWholeNumberOfPixelsInItsRange) {
  EXPECT_EQ(ParseThinTolerance("2"), 2);
  EXPECT_EQ(ParseThinTolerance("0"), 0);
  EXPECT_EQ(ParseThinTolerance(" 007\t"), 7);
  EXPECT_EQ(ParseThinTolerance("10000"), script::kMaxThinTolerance);
  for (const char* bad : {"", "  ", "10001", "-1", "+3", "2.5", "2 px", "3 4", "１２", "99999999999999999999999"})
    EXPECT_EQ(ParseThinTolerance(bad), std::nullopt) << bad;
  EXPECT_EQ(ThinToleranceRefusal(), "容差无效：请输入 0 到 10000 之间的整数（像素）。");
}

TEST(ThinPrompt, StatusSaysLinesRemovedAndLeft) {
  EXPECT_EQ(ThinStatusText(998, 1002), "删除了 998 行，剩 1002 行");
  EXPECT_EQ(ThinStatusText(0, 0), "删除了 0 行，剩 0 行");
}

}  // namespace
}  // namespace tesmuro::editor
