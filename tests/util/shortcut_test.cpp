#include "util/shortcut.h"

#include <gtest/gtest.h>

namespace tesmuro {
namespace {

constexpr uint16_t kShift = Shortcut::kShift, kCtrl = Shortcut::kCtrl, kAlt = Shortcut::kAlt;

std::optional<uint16_t> Code(std::string_view name) {
  const auto s = Shortcut::Parse(name);
  return s ? std::optional<uint16_t>(s->code) : std::nullopt;
}

TEST(Shortcut, KeyNamesReadInAnyCaseOrderAndSpacing) {
  EXPECT_EQ(Code("Ctrl+F5"), kCtrl | 0x74);
  EXPECT_EQ(Code("shift + ctrl + f5"), kCtrl | kShift | 0x74);
  EXPECT_EQ(Code("ALT+q"), kAlt | 'Q');
  EXPECT_EQ(Code("Control+Num+"), kCtrl | 0x6B);
  EXPECT_EQ(Code("Escape"), 0x1B);
  EXPECT_EQ(Code("16500"), 16500);  // a decimal code: Ctrl+F5
  EXPECT_EQ(Code("5"), '5');         // one digit is the digit key
  EXPECT_EQ(Code("4900"), 0x0024) << "a decimal code loses the bits that are not key or modifier";
  for (const char* bad : {"", "Ctrl+", "Hyper+A", "F25", "F0", "VK00", "256", "70000", "Ctrl+Ctrl", "AB"})
    EXPECT_EQ(Code(bad), std::nullopt) << bad;
  EXPECT_EQ(Shortcut(0).Name(), "");
  EXPECT_EQ(Shortcut(kCtrl | kShift | kAlt | 0x2C).Name(), "Ctrl+Shift+Alt+PrintScreen");
}

TEST(Shortcut, EveryCodeIsNamedWithinTheLimitAndReadBack) {
  for (uint32_t k = 1; k <= 0xFFFF; ++k) {
    const Shortcut s(static_cast<uint16_t>(k));
    if (s.Empty()) continue;
    const std::string name = s.Name();
    ASSERT_LE(name.size(), Shortcut::kMaxNameBytes) << k;
    const auto back = Shortcut::Parse(name);
    ASSERT_TRUE(back) << name;
    ASSERT_EQ(back->code, s.Identity()) << name;
  }
}

TEST(Shortcut, KeysAreComparedByKeyAndModifiersOnly) {
  const Shortcut ctrlDel(kCtrl | 0x2E);
  EXPECT_TRUE(ctrlDel.SameKeyAs(Shortcut(kCtrl | 0x0800 | 0x2E))) << "an extended-key bit is no difference";
  EXPECT_FALSE(ctrlDel.SameKeyAs(Shortcut(kCtrl | kShift | 0x2E)));
  EXPECT_FALSE(Shortcut(kCtrl).SameKeyAs(Shortcut(kCtrl))) << "no key: never the same as anything";
  EXPECT_TRUE(ctrlDel.Ctrl() && !ctrlDel.Shift() && !ctrlDel.Alt());
  EXPECT_EQ(ctrlDel.Key(), 0x2E);
}

}  // namespace
}  // namespace tesmuro
