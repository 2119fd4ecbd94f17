#include "record/x_input_translator.h"

#include <gtest/gtest.h>

namespace tesmuro::record {
namespace {

constexpr uint8_t kA = 38, kLAlt = 64, kLCtrl = 37, kF4 = 70, kF10 = 76, kPause = 127, kKp7 = 79,
                  kNumLock = 77, kRight = 114;

KeyHookEvent Key(XInputTranslator& t, uint8_t code, bool down, uint32_t time = 1000) {
  const auto e = t.Translate({down ? kXKeyPress : kXKeyRelease, code, 0, 0, time, false});
  EXPECT_TRUE(e && std::holds_alternative<KeyHookEvent>(*e)) << int(code);
  return e ? std::get<KeyHookEvent>(*e) : KeyHookEvent{};
}

MouseHookEvent Mouse(XInputTranslator& t, uint8_t type, uint8_t detail) {
  const auto e = t.Translate({type, detail, 12, 34, 500, false});
  EXPECT_TRUE(e && std::holds_alternative<MouseHookEvent>(*e)) << int(detail);
  return e ? std::get<MouseHookEvent>(*e) : MouseHookEvent{};
}

TEST(XInputTranslator, KeysCarryTheirVirtualKeyScanCodeFlagsAndTime) {
  XInputTranslator t;
  KeyHookEvent e = Key(t, kA, true, 4242);
  EXPECT_EQ(e.message, kWmKeyDown);
  EXPECT_EQ(e.vk, uint32_t{'A'});
  EXPECT_EQ(e.scanCode, 0x1Eu);
  EXPECT_EQ(e.flags, 0u);
  EXPECT_EQ(e.time, 4242u);
  EXPECT_EQ(e.tick, 4242u);
  e = Key(t, kRight, false);
  EXPECT_EQ(e.message, kWmKeyUp);
  EXPECT_EQ(e.flags, 0x81u);  // extended, released
  EXPECT_FALSE(t.Translate({kXKeyPress, 255, 0, 0, 0, false}));  // not in the table
  EXPECT_FALSE(t.Translate({kXKeyPress, 3, 0, 0, 0, false}));    // below the X keycode range
}

TEST(XInputTranslator, AltMakesSystemKeysAsWindowsDoesAndCtrlCancelsThat) {
  XInputTranslator t;
  KeyHookEvent e = Key(t, kLAlt, true);
  EXPECT_EQ(e.message, kWmSysKeyDown);
  EXPECT_EQ(e.flags, 0x20u);
  e = Key(t, kF4, true);
  EXPECT_EQ(e.message, kWmSysKeyDown);
  EXPECT_EQ(e.flags, 0x20u);
  e = Key(t, kF4, false);
  EXPECT_EQ(e.message, kWmSysKeyUp);
  EXPECT_EQ(e.flags, 0xA0u);
  e = Key(t, kLAlt, false);  // Alt's own release is a plain key-up
  EXPECT_EQ(e.message, kWmKeyUp);
  EXPECT_EQ(e.flags, 0x80u);
  EXPECT_EQ(Key(t, kF10, true).message, kWmSysKeyDown);  // F10 alone
  Key(t, kF10, false);
  Key(t, kLCtrl, true);
  Key(t, kLAlt, true);
  e = Key(t, kF4, true);  // Ctrl+Alt (AltGr): not a system key, but the Alt bit
  EXPECT_EQ(e.message, kWmKeyDown);
  EXPECT_EQ(e.flags, 0x20u);
}

TEST(XInputTranslator, CtrlPauseIsCancelAndNumLockChangesTheKeypad) {
  XInputTranslator t;
  EXPECT_EQ(Key(t, kPause, true).vk, 0x13u);
  Key(t, kLCtrl, true);
  const KeyHookEvent e = Key(t, kPause, true);
  EXPECT_EQ(e.vk, 0x03u);
  EXPECT_EQ(e.scanCode, 0x46u);
  EXPECT_EQ(e.flags & 1u, 1u);
  Key(t, kLCtrl, false);

  EXPECT_EQ(Key(t, kKp7, true).vk, 0x67u);  // NumLock on: keypad 7
  Key(t, kNumLock, true);
  EXPECT_EQ(Key(t, kKp7, true).vk, 0x24u);  // off: Home, not extended
}

TEST(XInputTranslator, LettersFollowTheLayout) {
  XInputTranslator t;
  XInputTranslator::LetterMap letters{};
  letters[24] = 'A';  // AZERTY: A where QWERTY has Q
  t.SetLetters(letters);
  const KeyHookEvent e = Key(t, 24, true);
  EXPECT_EQ(e.vk, uint32_t{'A'});
  EXPECT_EQ(e.scanCode, 0x10u);  // the key's own place
}

TEST(XInputTranslator, ButtonsWheelsAndSideButtons) {
  XInputTranslator t;
  MouseHookEvent m = Mouse(t, kXMotionNotify, 0);
  EXPECT_EQ(m.message, kWmMouseMove);
  EXPECT_EQ(m.x, 12);
  EXPECT_EQ(m.y, 34);
  EXPECT_EQ(Mouse(t, kXButtonPress, 1).message, kWmLButtonDown);
  EXPECT_EQ(Mouse(t, kXButtonRelease, 2).message, kWmMButtonUp);
  EXPECT_EQ(Mouse(t, kXButtonPress, 3).message, kWmRButtonDown);
  m = Mouse(t, kXButtonPress, 4);
  EXPECT_EQ(m.message, kWmMouseWheel);
  EXPECT_EQ(static_cast<int16_t>(m.mouseData >> 16), 120);
  EXPECT_EQ(static_cast<int16_t>(Mouse(t, kXButtonPress, 5).mouseData >> 16), -120);
  m = Mouse(t, kXButtonPress, 7);
  EXPECT_EQ(m.message, kWmMouseHWheel);
  EXPECT_EQ(static_cast<int16_t>(m.mouseData >> 16), 120);
  EXPECT_EQ(static_cast<int16_t>(Mouse(t, kXButtonPress, 6).mouseData >> 16), -120);
  EXPECT_FALSE(t.Translate({kXButtonRelease, 4, 0, 0, 0, false}));  // a wheel has no release
  m = Mouse(t, kXButtonPress, 8);
  EXPECT_EQ(m.message, kWmXButtonDown);
  EXPECT_EQ(m.mouseData >> 16, 1u);
  m = Mouse(t, kXButtonRelease, 9);
  EXPECT_EQ(m.message, kWmXButtonUp);
  EXPECT_EQ(m.mouseData >> 16, 2u);
  EXPECT_FALSE(t.Translate({kXButtonPress, 10, 0, 0, 0, false}));
}

}  // namespace
}  // namespace tesmuro::record
