// Turns the core input events an X server reports (key and button presses
// and releases, pointer motion) into the events the Windows hooks report for
// the same input, so that the recorders write the same lines on both systems.
//
// Keys become the virtual key, the scan code and the flag word that a PC
// keyboard gives the Windows low-level keyboard hook (os/pc_keyboard.h), with
// its message: a key pressed while Alt is held (without Ctrl), Alt itself and
// F10 come as system keys; the flag word has the extended bit (0x01), the Alt
// bit (0x20) and the release bit (0x80). Buttons 1..3 are the left, middle
// and right buttons, 4/5 the wheel (one notch: 120), 6/7 the horizontal
// wheel, 8/9 the side buttons (back = X1, forward = X2). Wheel releases and
// keys the table does not know give nothing.
//
// XInput 2 raw motion (the pointer's unaccelerated motion, for game mode)
// becomes relative motion (kRawMotionMessage) with the distances in whole
// pixels; the fractions a device reports are carried into the next event.
// A device whose axes are absolute (a tablet, a virtual machine's pointer)
// gives the difference between its positions, mapped onto the screen.
//
// Portable: the X side hands over the numbers of each event. One object per
// event stream; it keeps which modifiers are held.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>

#include "record/hook_events.h"
#include "record/raw_motion.h"

namespace tesmuro::record {

// Core protocol event types.
inline constexpr uint8_t kXKeyPress = 2, kXKeyRelease = 3, kXButtonPress = 4, kXButtonRelease = 5,
                         kXMotionNotify = 6;
// XInput 2 raw motion (XI_RawMotion), outside the core types' range.
inline constexpr uint8_t kXRawMotion = 17;

struct XInputEvent {
  uint8_t type = 0;     // one of the five above
  uint8_t detail = 0;   // keycode or button
  int16_t rootX = 0, rootY = 0;
  uint32_t time = 0;    // the server's millisecond time stamp
  bool injected = false;  // sent by this program (flag word bit 0x10 / mouse bit 0x01)
  // Raw motion: the device that moved and its valuators 0 (x) and 1 (y) as
  // it reported them; bit 0 / bit 1 of `axes` say which of the two it sent.
  int32_t sourceId = 0;
  uint8_t axes = 0;
  double rawX = 0, rawY = 0;
};

// A pointer device whose x and y axes report positions, with their ranges.
struct XAbsolutePointer {
  double minX = 0, maxX = 0, minY = 0, maxY = 0;
};

class XInputTranslator {
 public:
  // For each X keycode, the virtual key of the letter the current layout puts
  // on it unshifted ('A'..'Z'), or 0: letters follow the layout, as the
  // virtual keys of a Windows layout do. Empty: the US layout's letters.
  using LetterMap = std::array<uint8_t, 256>;

  XInputTranslator() { letters_.fill(0); }
  void SetLetters(const LetterMap& letters) { letters_ = letters; }
  // NumLock's state when the stream starts (then kept from its presses).
  void SetNumLock(bool on) { numLock_ = on; }
  // For raw motion: the devices (by id) whose axes are absolute, and the
  // screen their range spans.
  void SetAbsolutePointers(const std::map<int32_t, XAbsolutePointer>& devices, const PixelArea& screen) {
    absolute_ = devices;
    screen_ = screen;
  }

  std::optional<HookEvent> Translate(const XInputEvent& e);

 private:
  std::optional<HookEvent> Key(const XInputEvent& e);
  std::optional<HookEvent> Mouse(const XInputEvent& e);
  std::optional<HookEvent> RawMotion(const XInputEvent& e);

  LetterMap letters_;
  bool numLock_ = true;
  bool lAlt_ = false, rAlt_ = false, lCtrl_ = false, rCtrl_ = false;
  // Raw motion: the fractions not yet written; per absolute device, its last
  // position.
  double restX_ = 0, restY_ = 0;
  std::map<int32_t, XAbsolutePointer> absolute_;
  PixelArea screen_;
  struct AbsoluteState {
    RawMotionTracker tracker;
    int32_t x = 0, y = 0;  // the last position, 0..65535
  };
  std::map<int32_t, AbsoluteState> positions_;
};

}  // namespace tesmuro::record
