#include "record/modifier_tracker.h"

#include "record/key_hook.h"

namespace tesmuro {
namespace {

// The six keys, in bit order: left Shift, right Shift, left Ctrl, right
// Ctrl, left Alt, right Alt.
constexpr uint32_t kKeys[] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};

// The bit of a key code, or 0 for a key that is not a modifier.
uint16_t BitOf(uint32_t vk) {
  switch (vk) {
    case 0x10: vk = 0xA0; break;  // Shift
    case 0x11: vk = 0xA2; break;  // Ctrl
    case 0x12: vk = 0xA4; break;  // Alt
    default: break;
  }
  if (vk < 0xA0 || vk > 0xA5) return 0;
  return static_cast<uint16_t>(1u << (vk - 0xA0));
}

}  // namespace

uint16_t ModifierTracker::Bits(uint16_t keys) {
  uint16_t m = 0;
  if (keys & 0x03) m |= Shortcut::kShift;
  if (keys & 0x0C) m |= Shortcut::kCtrl;
  if (keys & 0x30) m |= Shortcut::kAlt;
  return m;
}

void ModifierTracker::Sync(KeyDownFn down, void* context) {
  for (uint32_t vk : kKeys) {
    const uint16_t bit = BitOf(vk);
    if (!down(vk, context)) {
      any_ &= static_cast<uint16_t>(~bit);
      real_ &= static_cast<uint16_t>(~bit);
    } else if (!(any_ & bit)) {
      any_ |= bit;
      real_ |= bit;
    }
  }
}

void ModifierTracker::Apply(KeyHookEvent& e) {
  e.modifiers = Held();
  e.realModifiers = RealHeld();
  if (e.code != 0) return;
  const uint16_t bit = BitOf(e.vk);
  if (!bit) return;
  const bool injected = KeyInjected(e.flags);
  if (e.message == kWmKeyDown || e.message == kWmSysKeyDown) {
    any_ |= bit;
    if (!injected) real_ |= bit;
  } else if (e.message == kWmKeyUp || e.message == kWmSysKeyUp) {
    // Any release leaves the key up for the system. The user's own press
    // ends only with a real release: a program that sends an up for a key
    // the user holds does not lift the user's finger.
    any_ &= static_cast<uint16_t>(~bit);
    if (!injected) real_ &= static_cast<uint16_t>(~bit);
  }
}

}  // namespace tesmuro
