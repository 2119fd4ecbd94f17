// A hot key as the settings, the script hot keys, the keyboard hook and the
// key words of a script keep it: one 16-bit code, the key's virtual-key code
// in the low byte and a bit for each modifier held with it. The settings file
// stores the code in decimal, so its bits never change.
//
// Its name is what the script hot keys file and the messages write: the
// modifiers in the order Ctrl, Shift, Alt, then the key ("Ctrl+Shift+F5").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tesmuro {

struct Shortcut {
  static constexpr uint16_t kShift = 0x2000;
  static constexpr uint16_t kCtrl = 0x4000;
  static constexpr uint16_t kAlt = 0x8000;
  static constexpr uint16_t kModifiers = kShift | kCtrl | kAlt;
  // The longest name Name() writes ("Ctrl+Shift+Alt+PrintScreen").
  static constexpr size_t kMaxNameBytes = 26;

  uint16_t code = 0;

  constexpr Shortcut() = default;
  constexpr explicit Shortcut(uint16_t c) : code(c) {}

  constexpr uint8_t Key() const { return static_cast<uint8_t>(code & 0xFFu); }
  constexpr uint16_t Modifiers() const { return code & kModifiers; }
  constexpr bool Shift() const { return (code & kShift) != 0; }
  constexpr bool Ctrl() const { return (code & kCtrl) != 0; }
  constexpr bool Alt() const { return (code & kAlt) != 0; }
  // No key: the hot key is not set.
  constexpr bool Empty() const { return Key() == 0; }
  // The key and its modifiers, what two shortcuts are compared by (any other
  // bit, such as the extended-key bit a hot-key control adds, left out).
  constexpr uint16_t Identity() const { return code & (kModifiers | 0xFFu); }
  // Both set, and the same key with the same modifiers.
  constexpr bool SameKeyAs(Shortcut o) const { return !Empty() && !o.Empty() && Identity() == o.Identity(); }

  // The name, empty for no key; a key without a name of its own is written
  // as "VK" and two hexadecimal digits.
  std::string Name() const;
  // And back: modifiers (Ctrl or Control, Shift, Alt) in any order and case,
  // spaces around them allowed, then a key name (letters, digits, F1..F24,
  // Num0..Num9, named keys such as "Pause", "PageUp", "Num+", "VK" and two
  // hexadecimal digits). A decimal shortcut code of two digits or more is
  // taken as it is (one digit is the digit key). nullopt: no such key.
  static std::optional<Shortcut> Parse(std::string_view name);

  bool operator==(const Shortcut&) const = default;
};

}  // namespace tesmuro
