// Where the player's input goes.
//
// The sink speaks in intents (move the pointer to a point, move it by a
// distance, press a button, turn a wheel, press a key with its scan code,
// type a character, deliver controller input); each platform turns them into its own calls:
// SendInput and its flags on Windows (play/input_sink_win.cpp), XTest on X11.
// Tests record the intents. Results of the system calls are never checked by
// the player.
//
// The sink also answers two cheap questions the player asks about the place
// its input goes: the virtual screen (for scripts recorded on another screen)
// and whether the foreground window takes injected input at all.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "os/screen.h"

namespace tesmuro {
class IDesktop;
}

namespace tesmuro::play {

// Messages of the first game controller.
inline constexpr uint32_t kMsgJoy1Move = 0x03A0;        // MM_JOY1MOVE
inline constexpr uint32_t kMsgJoy1ButtonDown = 0x03B5;  // MM_JOY1BUTTONDOWN

enum class MouseButton : uint8_t { Left, Right, Middle, X1, X2 };

enum class WheelAxis : uint8_t { Vertical, Horizontal };

// A key going down or up.
struct KeyStroke {
  uint8_t vk = 0;         // the virtual key
  uint16_t scan = 0;      // the hardware scan code without the E0 prefix; 0: the one the
                          // keyboard layout gives for vk (with its extended bit)
  bool extended = false;  // an E0 key (arrows, Insert, right Ctrl, ...)
  bool up = false;
  // Game mode: the key goes as its scan code only and the system derives the
  // virtual key from the layout, as games that ignore virtual keys need.
  bool scanOnly = false;
  bool operator==(const KeyStroke&) const = default;
};

// How a controller word reaches programs: as a broadcast of the controller's
// window message, as hardware input of that message, or both (broadcast first).
struct ControllerDelivery {
  bool broadcast = false;
  bool hardwareInput = false;
  bool operator==(const ControllerDelivery&) const = default;
};

// A script's moves were recorded on a screen of another size and are played
// unmapped: the two screens, for the user to be told.
struct ScreenNotice {
  ScreenRect recorded, current;
};

// Where a button or a wheel acts: the point, in physical screen pixels, where
// the player last put the pointer in this run. A button or wheel that carries
// it acts there even when the system has not yet taken in the move before it
// (under Wine a press within a millisecond of a move could act at the old
// place); one without it acts where the pointer is.
struct PointerPlace {
  int32_t x = 0, y = 0;
  bool operator==(const PointerPlace&) const = default;
};

// The normalised coordinate (0..65535, as absolute mouse input takes it) of
// pixel `p` on an axis of the virtual screen that starts at `origin` and is
// `size` pixels long. The system maps a coordinate n back to the pixel
// origin + n * size / 65536, rounded down (Wine, and the Windows versions we
// know) or to the nearest; the smallest n whose pixel rounded down is `p`
// lands on `p` either way for any screen up to 32768 pixels, where rounding
// n = p * 65536 / size to the nearest would land one pixel short for about
// half the pixels when the system rounds down. A pixel off the screen takes
// the nearest edge.
inline int32_t NormalisedCoordinate(int32_t p, int32_t origin, int32_t size) {
  if (size <= 0) return 0;
  const int64_t from = std::clamp<int64_t>(int64_t{p} - origin, 0, int64_t{size} - 1);
  return static_cast<int32_t>(std::min<int64_t>((from * 65536 + size - 1) / size, 65535));
}

class IInputSink {
 public:
  virtual ~IInputSink() = default;

  // The pointer to an absolute screen position in physical pixels.
  virtual void MoveTo(int32_t x, int32_t y) = 0;
  // Relative motion, as a mouse reports it (games read it as raw input).
  virtual void MoveBy(int32_t dx, int32_t dy) = 0;
  // A button at `at`, or where the pointer is when there is none. On Windows
  // one input record moves the pointer there and presses (or releases) the
  // button, so nothing can come between; on X11 the move that put the pointer
  // there went first through the same ordered stream, and the button follows
  // it.
  virtual void Button(MouseButton button, bool down, std::optional<PointerPlace> at) = 0;
  // A wheel turn (120 a notch; vertical: positive away from the user,
  // horizontal: positive to the right) at `at` as a button is. `a`, `b`: the
  // two numbers a wheel line carries after the turn, which Windows passes
  // along with an event without a place, where the system ignores them.
  virtual void Wheel(WheelAxis axis, int32_t turn, int32_t a, int32_t b, std::optional<PointerPlace> at) = 0;
  virtual void Key(const KeyStroke& key) = 0;
  // One character typed as itself, whatever the keyboard layout and input
  // method: a Unicode code point (1..10FFFF, no surrogate; line breaks and
  // tabs go as the keys Enter and Tab instead).
  virtual void TypeCharacter(char32_t codePoint) = 0;
  // The characters of a text about to be typed (each once), so that the sink
  // can set up for all of them before the first goes out.
  virtual void PrepareTyping(const std::u32string& /*characters*/) {}
  // The text being typed is over (or the run stopped in it): the sink lets go
  // of what it set up for the characters (the X11 sink's borrowed keycodes).
  virtual void EndTyping() {}
  // The first game controller moved to x, y (each 0..65535).
  virtual void ControllerMove(uint16_t x, uint16_t y, ControllerDelivery how) = 0;
  // The first game controller's button word (held bits and changed bit).
  virtual void ControllerButtons(uint32_t buttons, ControllerDelivery how) = 0;

  // The virtual screen now; not known by default.
  virtual ScreenRect Screen() { return {}; }
  // Something that names the foreground window, cheap to ask (0 for none);
  // the player asks ForegroundRefusesInput() only when it changes.
  virtual uint64_t ForegroundWindow() { return 0; }
  // The window ForegroundWindow() named belongs to a process that runs at a
  // higher integrity level (as administrator): the system drops injected
  // input on its way there, without a word.
  virtual bool ForegroundRefusesInput(uint64_t /*window*/) { return false; }
  // The desktop's windows and pixels, for the waits; none: window lines are
  // skipped and the waits cannot see anything.
  virtual IDesktop* Desktop() { return nullptr; }
};

}  // namespace tesmuro::play
