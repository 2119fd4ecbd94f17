#include <gtest/gtest.h>

#include "play/input_sink_x11.h"

namespace tesmuro::play {
namespace {

TEST(DesktopDpi, TheDesktopsScalingSettingOr96) {
  EXPECT_EQ(DesktopDpi(""), 96);
  EXPECT_EQ(DesktopDpi("Xft.antialias:\t1\nXft.dpi:\t144\nXft.hinting:\t1\n"), 144);
  EXPECT_EQ(DesktopDpi("Xft.dpi: 120"), 120);
  EXPECT_EQ(DesktopDpi("Xft.dpi:\t96.5\n"), 96) << "the whole part";
  EXPECT_EQ(DesktopDpi("Foo.Xft.dpi:\t200\n"), 96) << "another resource's name";
  EXPECT_EQ(DesktopDpi("Xft.dpi:\tlarge\n"), 96);
  EXPECT_EQ(DesktopDpi("Xft.dpi:\t0\n"), 96);
  EXPECT_EQ(DesktopDpi("Xft.dpi:\t99999999999\n"), 96) << "no overflow, no absurd value";
}

}  // namespace
}  // namespace tesmuro::play
