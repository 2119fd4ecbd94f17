// Replay of one script action through the input sink.
//
// ActionReplayer keeps what one playback run needs between words: the last
// move coordinates (passed with the mouse button events, where the system
// ignores them) and the keys and mouse buttons this run pressed and has not yet
// released, so that a pause can let go of them for its length and the end of a
// run for good.
//
// What each action injects:
//   Move x,y            SetCursorPos(x, y); x, y become the last move coordinates
//   Left/Right/Middle   MouseEvent(0x2/0x4, 0x8/0x10, 0x20/0x40, last x, last y, 0, 0)
//   Wheel               MouseEvent(0x800, a, b, turn as signed 16 bits, 0)
//   Key / SysKey down   KeybdEvent(vk, 0, 0, 0)      (system keys exactly like others)
//   Key / SysKey up     KeybdEvent(vk, 0, 0x2, 0)
//   JoyMove x,y         PostJoy: PostBroadcast(0x3A0, 0, (y << 16) | x) first;
//                       SendInputJoy: SendHardwareInput(0x3A0, low 16 bits of x, low 16 bits of y)
//   JoyButton b         PostJoy: PostBroadcast(0x3B5, b, 0) first;
//                       SendInputJoy: SendHardwareInput(0x3B5, low 16 bits of b, 0)
// Delay, Unknown (including the double-click words) and ConversionError inject
// nothing here: delays are timed by the playback thread, which also ends the
// run on a conversion error.
#pragma once

#include <cstdint>
#include <vector>

#include "play/input_sink.h"
#include "script/word_reader.h"

namespace tesmuro::play {

class ActionReplayer {
 public:
  explicit ActionReplayer(IInputSink& sink) : sink_(sink) {}

  void Replay(const script::Action& action, bool postJoy, bool sendInputJoy);

  // Releases every key and mouse button pressed by Replay() and not released
  // since, the most recently pressed first (key-up / button-up at the last move
  // coordinates). Afterwards nothing is held. After LiftHeld() without
  // PressAgain() nothing is down any more: it injects nothing.
  void ReleaseHeld();

  // For a pause: releases what is held as ReleaseHeld() does, but keeps the
  // list, so that PressAgain() can restore it. A second call does nothing.
  void LiftHeld();
  // At the end of a pause: presses what LiftHeld() released again, in the
  // order it was first pressed (key-down; button-down at the last move
  // coordinates). When a mouse button is among them and the script has moved
  // the cursor, the cursor goes back to the last move first, so the button
  // goes down where the script had it and not where the user left the pointer.
  void PressAgain();
  bool Lifted() const { return lifted_; }

  int32_t LastX() const { return last_x_; }
  int32_t LastY() const { return last_y_; }
  bool Holds(uint8_t vk) const;

 private:
  // A held input: a virtual key 0..255, or a mouse button as its up flag.
  struct Held {
    bool button;
    uint32_t code;
    bool operator==(const Held&) const = default;
  };
  void Press(Held h);
  void Release(Held h);
  void InjectUp(Held h);

  IInputSink& sink_;
  int32_t last_x_ = 0;
  int32_t last_y_ = 0;
  bool moved_ = false;      // a Move has set last_x_, last_y_
  bool lifted_ = false;     // held_ is released for a pause
  std::vector<Held> held_;  // in the order pressed; at most 259 entries
};

}  // namespace tesmuro::play
