// The Windows sink's mouse records (Windows build only): a button or wheel
// with a place moves there in the same record, absolute over the virtual
// screen; one without a place is the bare event.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <vector>

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

TEST(WinInputSinkTest, ACharacterIsTypedAsItsUtf16UnitsEachDownAndUp) {
  INPUT r[4];
  ASSERT_EQ(UnicodeRecords(0x4E2D, r), 2);
  EXPECT_EQ(r[0].type, static_cast<DWORD>(INPUT_KEYBOARD));
  EXPECT_EQ(r[0].ki.wVk, 0);
  EXPECT_EQ(r[0].ki.wScan, 0x4E2D);
  EXPECT_EQ(r[0].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_UNICODE));
  EXPECT_EQ(r[1].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
  EXPECT_EQ(r[1].ki.dwExtraInfo, static_cast<ULONG_PTR>(os::kPlayerInputTag));
  ASSERT_EQ(UnicodeRecords(0x1F600, r), 4);  // a surrogate pair: two down/up pairs
  const WORD scans[] = {r[0].ki.wScan, r[1].ki.wScan, r[2].ki.wScan, r[3].ki.wScan};
  EXPECT_EQ(std::vector<WORD>(scans, scans + 4), (std::vector<WORD>{0xD83D, 0xD83D, 0xDE00, 0xDE00}));
  EXPECT_EQ(r[2].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_UNICODE));
  EXPECT_EQ(r[3].ki.dwFlags, static_cast<DWORD>(KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
}

}  // namespace
}  // namespace tesmuro::play
#endif
