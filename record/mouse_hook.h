// The mouse recorder: a low-level mouse hook that, while recording, turns
// every movement, button and wheel event into a delay line and an action line.
#pragma once

#include <cstdint>
#include <optional>

#include "record/hook_events.h"
#include "record/hook_recorder.h"
#include "record/record_sink.h"

namespace tesmuro {

class TMouseHook : public HookRecorder {
 public:
  TMouseHook(IHookHost& host, IClock& clock)
      : HookRecorder(host, clock, &IHookHost::InstallMouseHook, &IHookHost::UninstallMouseHook) {}

  // One event from the hook, in the order the hook saw them. Records it when
  // recording, the hook code is 0 and the message is one that is recorded:
  // moves, the three buttons with their double clicks, the side buttons,
  // both wheels; in game mode relative motion (kRawMotionMessage) in place
  // of the moves. Anything else leaves the lines, the status bar and the
  // clock alone.
  void OnEvent(const MouseHookEvent& e, RecordSink& sink);

  // Game mode: the mouse's relative motion is recorded instead of its
  // positions.
  void SetGameMode(bool on) { gameMode_ = on; }
  bool GameMode() const { return gameMode_; }

  // The least time (ms) and distance (pixels) between two written moves, for
  // the recording about to start: a move is written when either has passed
  // since the last written move (a limit of 0 takes no part; both 0: every
  // move). A move that is not written is held until the next one replaces
  // it or something else is recorded. A move to the point of the last
  // written move is never written, whatever the limits.
  void SetMoveLimits(int32_t intervalMs, int32_t minDistance);
  // Writes the move held back, if any, with its own delay: before any other
  // line, so that a button, the wheel or a key acts where the pointer was,
  // and when the recording ends. The next line's delay counts from it.
  void FlushMove(RecordSink& sink);

 private:
  struct Point {
    int32_t x, y;
    uint32_t tick;
  };
  bool MoveDue(const MouseHookEvent& e) const;

  bool gameMode_ = false;
  int32_t intervalMs_ = 0;
  int32_t minDistance_ = 0;
  std::optional<Point> held_;         // the last move, not written
  std::optional<Point> lastWritten_;  // the last move written
};

}  // namespace tesmuro
