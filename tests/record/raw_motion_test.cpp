#include "record/raw_motion.h"

#include <gtest/gtest.h>

namespace tesmuro {
namespace {

const PixelArea kPrimary{0, 0, 1920, 1080};
const PixelArea kAll{-1280, -200, 3200, 1280};  // a monitor left of and above the primary

TEST(RawMotion, AMouseGivesItsDistancesAsTheyCome) {
  RawMotionTracker t;
  int32_t dx, dy;
  EXPECT_TRUE(t.Take({false, false, -3, 7}, kPrimary, kAll, dx, dy));
  EXPECT_EQ(dx, -3);
  EXPECT_EQ(dy, 7);
  EXPECT_FALSE(t.Take({false, false, 0, 0}, kPrimary, kAll, dx, dy)) << "no motion, no line";
}

TEST(RawMotion, AbsoluteDevicesGiveTheDifferenceBetweenPositions) {
  RawMotionTracker t;
  int32_t dx = 9, dy = 9;
  // The middle of the primary screen: the first position is only a start.
  EXPECT_FALSE(t.Take({true, false, 32768, 32768}, kPrimary, kAll, dx, dy));
  EXPECT_EQ(dx, 0);
  // A quarter of the way further right on 1920 pixels: 480.
  EXPECT_TRUE(t.Take({true, false, 49152, 32768}, kPrimary, kAll, dx, dy));
  EXPECT_EQ(dx, 480);
  EXPECT_EQ(dy, 0);
  // Over the virtual screen: 0..65535 spans 3200 x 1280 from -1280,-200; the
  // last position was 1440,540, the new one is the virtual screen's top left.
  EXPECT_TRUE(t.Take({true, true, 0, 0}, kPrimary, kAll, dx, dy));
  EXPECT_EQ(dx, -1280 - 1440);
  EXPECT_EQ(dy, -200 - 540);
  // A relative report in between leaves the last position alone.
  EXPECT_TRUE(t.Take({false, false, 5, 5}, kPrimary, kAll, dx, dy));
  EXPECT_TRUE(t.Take({true, true, 65535, 65535}, kPrimary, kAll, dx, dy));
  EXPECT_EQ(dx, 3199);
  EXPECT_EQ(dy, 1279);
  // A new recording starts afresh; out-of-range reports never overflow.
  t.Reset();
  EXPECT_FALSE(t.Take({true, false, INT32_MAX, INT32_MIN}, kPrimary, kAll, dx, dy));
  EXPECT_TRUE(t.Take({true, false, INT32_MIN, INT32_MAX}, kPrimary, kAll, dx, dy));
}

}  // namespace
}  // namespace tesmuro
