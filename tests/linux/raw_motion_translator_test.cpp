// XInput 2 raw motion as the recorder's game mode takes it: distances in
// whole pixels with the fractions carried on, and absolute devices as the
// difference between their positions on the screen.
#include <gtest/gtest.h>

#include <cmath>

#include "record/x_input_translator.h"

namespace tesmuro::record {
namespace {

XInputEvent Raw(double x, double y, uint8_t axes = 3, int32_t source = 6, uint32_t time = 5000) {
  XInputEvent e;
  e.type = kXRawMotion;
  e.sourceId = source;
  e.axes = axes;
  e.rawX = x;
  e.rawY = y;
  e.time = time;
  return e;
}

// The motion a raw event gives, or none.
std::optional<MouseHookEvent> Motion(XInputTranslator& t, const XInputEvent& e) {
  const std::optional<HookEvent> h = t.Translate(e);
  if (!h) return std::nullopt;
  const auto* m = std::get_if<MouseHookEvent>(&*h);
  EXPECT_NE(m, nullptr);
  if (!m) return std::nullopt;
  EXPECT_EQ(m->message, kRawMotionMessage);
  return *m;
}

TEST(RawMotionTranslation, DistancesCarryTheServersTime) {
  XInputTranslator t;
  const auto m = Motion(t, Raw(7, -3, 3, 6, 123456));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->x, 7);
  EXPECT_EQ(m->y, -3);
  EXPECT_EQ(m->time, 123456u);
  EXPECT_EQ(m->tick, 123456u);
  EXPECT_EQ(m->code, 0);
}

TEST(RawMotionTranslation, AnAxisNotSentDidNotMove) {
  XInputTranslator t;
  auto m = Motion(t, Raw(4, 99, 1));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->x, 4);
  EXPECT_EQ(m->y, 0);
  m = Motion(t, Raw(99, -2, 2));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->x, 0);
  EXPECT_EQ(m->y, -2);
}

TEST(RawMotionTranslation, FractionsAddUpAndNothingIsLost) {
  XInputTranslator t;
  int sumX = 0, sumY = 0, events = 0;
  for (int i = 0; i < 10; ++i) {
    if (const auto m = Motion(t, Raw(0.25, -0.5))) {
      sumX += m->x;
      sumY += m->y;
      ++events;
    }
  }
  EXPECT_EQ(sumX, 2);   // 2.5: the half waits for the next motion
  EXPECT_EQ(sumY, -5);
  EXPECT_LT(events, 10) << "motion below a pixel gave a line of nothing";
  const auto m = Motion(t, Raw(0.5, 0));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->x, 1);
  EXPECT_FALSE(Motion(t, Raw(0, 0))) << "no motion, no event";
}

TEST(RawMotionTranslation, AbsoluteDevicesGiveTheDifferenceOnTheScreen) {
  XInputTranslator t;
  // Device 9 reports 0..65535 on both axes over a 1280x1024 screen.
  t.SetAbsolutePointers({{9, XAbsolutePointer{0, 65535, 0, 65535}}}, PixelArea{0, 0, 1280, 1024});
  EXPECT_FALSE(Motion(t, Raw(32768, 32768, 3, 9))) << "the first position has no motion";
  auto m = Motion(t, Raw(32768 + 5120, 32768 - 6400, 3, 9));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->x, 100);  // 5120 of 65536 over 1280 pixels
  EXPECT_EQ(m->y, -100);
  // Only y sent: x stays where it was.
  m = Motion(t, Raw(0, 32768 - 6400 + 640, 2, 9));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->x, 0);
  EXPECT_EQ(m->y, 10);
  // Another device's distances are not taken for positions.
  m = Motion(t, Raw(3, 4, 3, 6));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->x, 3);
  EXPECT_EQ(m->y, 4);
}

TEST(RawMotionTranslation, ValuesBeyondReasonGiveNothingWrong) {
  XInputTranslator t;
  EXPECT_FALSE(Motion(t, Raw(std::nan(""), 0)));
  const auto m = Motion(t, Raw(1e30, -1e30));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->x, 1000000000);
  EXPECT_EQ(m->y, -1000000000);
  // The rest does not linger.
  const auto n = Motion(t, Raw(1, 1));
  ASSERT_TRUE(n);
  EXPECT_EQ(n->x, 1);
  EXPECT_EQ(n->y, 1);
}

}  // namespace
}  // namespace tesmuro::record
