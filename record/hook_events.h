// Low-level input events as the hook thread copies them for the recorders:
// the system's event record plus the tick count at which the hook saw it.
#pragma once

#include <cstdint>
#include <variant>

namespace tesmuro {

// The Windows message numbers of the events, for code that has no Windows
// headers (the recorders, the X11 translator).
inline constexpr uint32_t kWmMouseMove = 0x0200, kWmLButtonDown = 0x0201, kWmLButtonUp = 0x0202,
                          kWmLButtonDblClk = 0x0203, kWmRButtonDown = 0x0204, kWmRButtonUp = 0x0205,
                          kWmRButtonDblClk = 0x0206, kWmMButtonDown = 0x0207, kWmMButtonUp = 0x0208,
                          kWmMButtonDblClk = 0x0209, kWmMouseWheel = 0x020A, kWmXButtonDown = 0x020B,
                          kWmXButtonUp = 0x020C, kWmMouseHWheel = 0x020E;
inline constexpr uint32_t kWmKeyDown = 0x0100, kWmKeyUp = 0x0101, kWmSysKeyDown = 0x0104,
                          kWmSysKeyUp = 0x0105;

// Relative mouse motion, from raw input: a mouse event with this message
// (WM_INPUT) carries the distances in x and y.
inline constexpr uint32_t kRawMotionMessage = 0x00FF;

struct MouseHookEvent {
  int32_t code = 0;        // the hook code (0 = HC_ACTION)
  uint32_t message = 0;    // WM_MOUSEMOVE, WM_LBUTTONDOWN, ..., or kRawMotionMessage
  int32_t x = 0, y = 0;    // the event's point, in physical screen pixels (raw motion: the distances)
  uint32_t mouseData = 0;  // wheel turn, or the side button (1 X1, 2 X2), in the high 16 bits
  uint32_t flags = 0;      // bit 0: injected
  uint32_t time = 0;       // the event's own time stamp
  uint32_t extraInfo = 0;
  uint32_t tick = 0;       // tick count when the hook saw it
};

struct KeyHookEvent {
  int32_t code = 0;
  uint32_t message = 0;    // WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP
  uint32_t vk = 0, scanCode = 0, flags = 0, time = 0, extraInfo = 0;
  // The modifiers (Shortcut's bits) held when the hook saw the event:
  // by anyone (the system's view, the player's injected keys included), and
  // by the user's own hands (real key presses only).
  uint16_t modifiers = 0;
  uint16_t realModifiers = 0;
  uint32_t tick = 0;
};

using HookEvent = std::variant<MouseHookEvent, KeyHookEvent>;

}  // namespace tesmuro
