// The Windows sink's mouse records (Windows build only): a button or wheel
// with a place moves there in the same record, absolute over the virtual
// screen; one without a place is the bare event.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "os/pc_keyboard.h"
#include "play/input_sink_win.h"

namespace tesmuro::play {
namespace {

TEST(WinInputSinkTest, AButtonWithAPlaceMovesThereInTheSameRecord) {
  // A monitor left of the primary one: the virtual screen starts at -1280.
  const ScreenRect screen{-1280, -200, 3200, 1224, 96};
  const INPUT down = MouseRecord(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, PointerPlace{-1280 + 800, 412}, screen);
  EXPECT_EQ(down.type, static_cast<DWORD>(INPUT_MOUSE));
  EXPECT_EQ(down.mi.dwFlags,
            static_cast<DWORD>(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK));
  EXPECT_EQ(down.mi.dx, NormalisedCoordinate(-480, -1280, 3200));
  EXPECT_EQ(down.mi.dx, 16384);  // a quarter of the way across
  EXPECT_EQ(down.mi.dy, NormalisedCoordinate(412, -200, 1224));
  EXPECT_EQ(down.mi.dwExtraInfo, static_cast<ULONG_PTR>(os::kPlayerInputTag));

  const INPUT wheel = MouseRecord(MOUSEEVENTF_WHEEL, static_cast<DWORD>(-120), 5, 6, std::nullopt, screen);
  EXPECT_EQ(wheel.mi.dwFlags, static_cast<DWORD>(MOUSEEVENTF_WHEEL));
  EXPECT_EQ(static_cast<int32_t>(wheel.mi.mouseData), -120);
  EXPECT_EQ(wheel.mi.dx, 5);
  EXPECT_EQ(wheel.mi.dy, 6);
  EXPECT_EQ(wheel.mi.dwExtraInfo, static_cast<ULONG_PTR>(os::kPlayerInputTag));
}

}  // namespace
}  // namespace tesmuro::play
#endif
