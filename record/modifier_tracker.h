// Which of Shift, Ctrl and Alt are down, as the keyboard hook sees the keys
// go down and up, kept apart by who pressed them: the user (real input) or a
// program (injected input, such as our own player).
//
// A hot key stored with modifiers must not fire because the script being
// played holds Ctrl, nor be blocked because it holds Alt: for a real key
// press only the user's own modifiers count. The system's key state cannot
// tell the two apart, so the hook thread keeps this record instead.
#pragma once

#include <cstdint>

#include "record/hook_events.h"

namespace tesmuro {

// Flags of a low-level keyboard event: injected by a program (also at a
// lower integrity level).
inline constexpr uint32_t kKeyInjected = 0x10;
inline constexpr uint32_t kKeyLowerIlInjected = 0x02;
inline bool KeyInjected(uint32_t flags) { return (flags & (kKeyInjected | kKeyLowerIlInjected)) != 0; }

class ModifierTracker {
 public:
  // Asks the system whether a key is down now.
  using KeyDownFn = bool (*)(uint32_t vk, void* context);

  // Brings the record in line with the system's key state (at installation,
  // and again when a hook that went missing is installed anew, since keys
  // may have changed unseen): a key the system reports up is up; a key it
  // reports down that the record has up counts as the user's. Keys down in
  // both keep who pressed them. Asks for the left and right keys only.
  void Sync(KeyDownFn down, void* context);

  // One key event from the hook, in order: stamps `e.modifiers` (held by
  // anyone) and `e.realModifiers` (held by the user) with the state before
  // this event, then applies the event. The generic Shift, Ctrl and Alt
  // codes (which programs may inject) stand for the left key, as the system
  // takes them. Events of other keys only get stamped.
  void Apply(KeyHookEvent& e);

  uint16_t Held() const { return Bits(any_); }
  uint16_t RealHeld() const { return Bits(real_); }

 private:
  static uint16_t Bits(uint16_t keys);

  // One bit per key: left and right Shift, Ctrl, Alt.
  uint16_t any_ = 0;   // down, whoever pressed it last
  uint16_t real_ = 0;  // pressed by the user and not released since
};

}  // namespace tesmuro
