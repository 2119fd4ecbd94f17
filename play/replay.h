// Replay of one script action through the input sink.
//
// ActionReplayer keeps what one playback run needs between words: where the
// run last put the pointer (every button and wheel event carries that place)
// and the keys and mouse buttons this run pressed and has not yet released, so
// that a pause can let go of them for its length and the end of a run for good.
//
// What each action injects (intents of play/input_sink.h):
//   Move x,y            MoveTo(x, y), mapped onto the current screen when asked
//                       (see below); x, y become the last move coordinates
//   RelMove dx,dy       MoveBy(dx, dy); the pointer's place is the system's
//                       again until the next Move
//   Left/Right/Middle/  Button(which, down, place)
//   X1/X2 down and up
//   Wheel, HWheel       Wheel(axis, turn as signed 16 bits, a, b, place)
//   Key / SysKey        Key(vk, scan code and extended bit as recorded, up)
//                       (system keys exactly like others); a scan code of 0
//                       leaves the scan code to the keyboard layout; in game
//                       mode the key goes as its scan code only
//   JoyMove x,y         ControllerMove(low 16 bits of x and y, delivery)
//   JoyButton b         ControllerButtons(b, delivery)
//   Screen              nothing: the screen the following moves were recorded on
// Delay, Unknown (including the double-click words) and ConversionError inject
// nothing here: delays are timed by the playback thread, which also ends the
// run on a conversion error.
//
// The place: where the run last put the pointer (a Move as played, a click at
// a picture, the pointer set back after a pause), so a button acts at the
// point of the move before it however soon it follows. Before the run's first
// Move, after a RelMove and in game mode (where positions are the game's
// business) there is none: the button acts where the pointer is.
//
// Screens. A "屏幕" line tells the virtual screen the moves after it were
// recorded on. When the current screen (asked of the sink at that line) has
// another area, each move is mapped proportionally from the recorded
// rectangle onto the current one if the run maps positions; if it does not,
// the moves go as they are and the difference is reported once per run.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "play/input_sink.h"
#include "play/run_options.h"
#include "script/word_reader.h"

namespace tesmuro::play {

class ActionReplayer {
 public:
  // The replay reads the run's controller delivery, game mode and screen
  // mapping.
  using Options = RunOptions;

  // Recorded and current screen, when a run's moves do not match the screen.
  // `options` must outlive the replayer (the run's own record).
  explicit ActionReplayer(IInputSink& sink, const Options& options = kDefaults)
      : sink_(sink), options_(options) {}

  void Replay(const script::Action& action);

  // The first screen difference seen with mapping off; reported once per
  // run (afterwards empty).
  std::optional<ScreenNotice> TakeScreenNotice();

  // The point a recorded position is played at: shifted by the window offset
  // while one is followed, else mapped onto the current screen when the run
  // maps positions.
  void PlacePoint(int32_t& x, int32_t& y) const;
  // The action's moves follow a window that stands `dx`, `dy` away from where
  // it was recorded, until the next screen line or Unfollow(); the pointer
  // goes to the last recorded position shifted so, if the script moved it.
  void Follow(int32_t dx, int32_t dy);
  void Unfollow() { following_ = false; }
  // A left click at a screen point as it stands (neither mapped nor
  // followed): the pointer goes there, the button goes down and up. The
  // point is where the pointer is from then on (LastX, LastY); the last
  // recorded move stays what it was.
  void ClickAt(int32_t x, int32_t y);
  // Where the script last moved the pointer (as played), and as recorded.
  bool Moved() const { return moved_; }
  int32_t RecordedX() const { return recorded_x_; }
  int32_t RecordedY() const { return recorded_y_; }

  // The position a recorded point is played at: mapped from `recorded` onto
  // `current` when both are known and their areas differ.
  static void MapPoint(const ScreenRect& recorded, const ScreenRect& current, int32_t& x, int32_t& y);

  // Releases every key and mouse button pressed by Replay() and not released
  // since, the most recently pressed first (key-up / button-up at the place,
  // see above). Afterwards nothing is held. After LiftHeld() without
  // PressAgain() nothing is down any more: it injects nothing.
  void ReleaseHeld();

  // For a pause: releases what is held as ReleaseHeld() does, but keeps the
  // list, so that PressAgain() can restore it. A second call does nothing.
  void LiftHeld();
  // At the end of a pause: presses what LiftHeld() released again, in the
  // order it was first pressed (key-down; button-down at the place). When a mouse button is among them and the script has moved
  // the cursor, the cursor goes back to the last move first, so the button
  // goes down where the script had it and not where the user left the pointer.
  void PressAgain();
  bool Lifted() const { return lifted_; }

  int32_t LastX() const { return last_x_; }
  int32_t LastY() const { return last_y_; }
  // Where a button or wheel acts now (see above).
  std::optional<PointerPlace> Place() const;
  bool Holds(uint8_t vk) const;

 private:
  // A held input: a key, or a mouse button.
  struct Held {
    bool button;
    MouseButton which;  // a button
    KeyStroke key;      // a key, as it went down
    bool Same(const Held& o) const {
      return button == o.button && (button ? which == o.which : key.vk == o.key.vk);
    }
  };
  void Press(Held h);
  void Release(Held h);
  void InjectUp(Held h);

  void PressKey(const KeyStroke& k);
  void ReplayMove(const script::Action& a);
  void ReplayButton(MouseButton which, bool down);
  void ReplayKey(const script::Action& a, bool down);

  IInputSink& sink_;
  static inline const Options kDefaults{};
  const Options& options_;
  ScreenRect recordedScreen_;  // from the last screen line read
  ScreenRect currentScreen_;   // asked at that line
  bool screenNoticeDue_ = false;
  bool screenNoticeGiven_ = false;
  int32_t last_x_ = 0;
  int32_t last_y_ = 0;
  int32_t recorded_x_ = 0;  // the last move as the script has it
  int32_t recorded_y_ = 0;
  bool following_ = false;  // moves are shifted by the window offset
  int32_t follow_dx_ = 0;
  int32_t follow_dy_ = 0;
  bool moved_ = false;      // a Move has set last_x_, last_y_
  bool placed_ = false;     // the pointer is at last_x_, last_y_ as the run put it
  bool lifted_ = false;     // held_ is released for a pause
  std::vector<Held> held_;  // in the order pressed; at most 259 entries
};

}  // namespace tesmuro::play
