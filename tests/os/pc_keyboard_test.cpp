#include "os/pc_keyboard.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace tesmuro::os {
namespace {

// Every key of the table is found back the three ways, so recording a key
// and playing the line presses the same key again.
TEST(PcKeyboard, EveryKeyRoundTripsThroughEvdevScanAndVirtualKey) {
  std::set<std::pair<uint16_t, bool>> scans;
  int keys = 0;
  for (uint16_t evdev = 0; evdev < 256; ++evdev) {
    const auto k = KeyByEvdev(evdev);
    if (!k) continue;
    ++keys;
    EXPECT_TRUE(scans.insert({k->scan, k->extended}).second) << "scan " << k->scan << " twice";
    const auto byScan = KeyByScan(k->scan, k->extended);
    ASSERT_TRUE(byScan) << evdev;
    EXPECT_EQ(byScan->evdev, evdev);
    const auto byVk = KeyByVk(k->vk, k->extended);
    ASSERT_TRUE(byVk) << evdev;
    EXPECT_EQ(byVk->vk, k->vk);
  }
  EXPECT_GT(keys, 100);
}

TEST(PcKeyboard, KeysAsAPcKeyboardGivesThemOnWindows) {
  EXPECT_EQ(KeyByEvdev(30)->vk, 'A');
  EXPECT_EQ(KeyByEvdev(30)->scan, 0x1E);
  EXPECT_EQ(KeyByEvdev(105)->vk, 0x25);  // Left arrow: E0 4B
  EXPECT_TRUE(KeyByEvdev(105)->extended);
  EXPECT_FALSE(KeyByEvdev(75)->extended);  // keypad 4 shares the scan code without E0
  EXPECT_EQ(KeyByEvdev(75)->scan, 0x4B);
  EXPECT_EQ(KeyByEvdev(119)->vk, kVkPause);
  EXPECT_EQ(KeyByEvdev(100)->vk, kVkRMenu);
}

TEST(PcKeyboard, GenericModifiersAndTwinKeysFollowTheExtendedBit) {
  EXPECT_EQ(KeyByVk(kVkShift, false)->evdev, 42);
  EXPECT_EQ(KeyByVk(kVkShift, true)->evdev, 54);
  EXPECT_EQ(KeyByVk(kVkControl, false)->evdev, 29);
  EXPECT_EQ(KeyByVk(kVkControl, true)->evdev, 97);
  EXPECT_EQ(KeyByVk(kVkMenu, true)->evdev, 100);
  EXPECT_EQ(KeyByVk(0x0D, false)->evdev, 28);   // Enter
  EXPECT_EQ(KeyByVk(0x0D, true)->evdev, 96);    // keypad Enter
  EXPECT_EQ(KeyByVk(0x25, false)->evdev, 105);  // Left without its E0 bit: still the arrow
  EXPECT_EQ(KeyByVk(kVkCancel, true)->evdev, 119);
  EXPECT_FALSE(KeyByVk(0xE7, false));  // VK_PACKET: no key
  EXPECT_FALSE(KeyByScan(0, false));
  EXPECT_FALSE(KeyByEvdev(0));
}

// What the layout answers for a key typed by hand becomes what the hook
// would have recorded: and the table agrees with it.
TEST(PcKeyboard, TheLayoutsScanCodeBecomesTheHooks) {
  for (uint32_t layout : {0x001Eu, 0xE04Bu, 0xE11Du}) {
    const ScanCode sc = ScanCodeFromLayout(layout);
    const auto key = KeyByScan(sc.scan, sc.extended);
    ASSERT_TRUE(key) << std::hex << layout;
    EXPECT_EQ(key->vk, layout == 0x001E ? 'A' : layout == 0xE04B ? 0x25 : kVkPause) << std::hex << layout;
  }
  EXPECT_FALSE(ScanCodeFromLayout(0xE11D).extended) << "Pause is not right Ctrl";
}

}  // namespace
}  // namespace tesmuro::os
