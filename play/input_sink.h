// Where the player's input goes.
//
// Every injected action of a playback passes through IInputSink, one call per
// system call, so tests can record the exact sequence and the Windows
// implementation stays a line or two per call. The calls mirror the system
// functions they stand for; their results are never checked by the player.
#pragma once

#include <cstdint>

namespace tesmuro::play {

// mouse_event flags.
inline constexpr uint32_t kMouseLeftDown = 0x0002;
inline constexpr uint32_t kMouseLeftUp = 0x0004;
inline constexpr uint32_t kMouseRightDown = 0x0008;
inline constexpr uint32_t kMouseRightUp = 0x0010;
inline constexpr uint32_t kMouseMiddleDown = 0x0020;
inline constexpr uint32_t kMouseMiddleUp = 0x0040;
inline constexpr uint32_t kMouseWheel = 0x0800;

// keybd_event flag of a key going up.
inline constexpr uint32_t kKeyEventKeyUp = 0x0002;

// Messages of the first game controller.
inline constexpr uint32_t kMsgJoy1Move = 0x03A0;        // MM_JOY1MOVE
inline constexpr uint32_t kMsgJoy1ButtonDown = 0x03B5;  // MM_JOY1BUTTONDOWN

class IInputSink {
 public:
  virtual ~IInputSink() = default;

  // SetCursorPos: absolute screen position in physical pixels.
  virtual void SetCursorPos(int32_t x, int32_t y) = 0;
  // mouse_event(flags, dx, dy, data, extra).
  virtual void MouseEvent(uint32_t flags, int32_t dx, int32_t dy, int32_t data, uintptr_t extra) = 0;
  // keybd_event(vk, scan, flags, extra).
  virtual void KeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags, uintptr_t extra) = 0;
  // PostMessage to HWND_BROADCAST.
  virtual void PostBroadcast(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
  // SendInput of one INPUT_HARDWARE record: uMsg, wParamL, wParamH.
  virtual void SendHardwareInput(uint32_t msg, uint16_t paramLow, uint16_t paramHigh) = 0;
};

// The system's input functions. On Windows they inject for real; in the native
// (non-Windows) build every call does nothing. One process-wide object without
// state, safe to share between threads; it lives until the program ends.
IInputSink& SystemInputSink();

}  // namespace tesmuro::play
