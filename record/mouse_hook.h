// The mouse recorder: a low-level mouse hook that, while recording, turns
// every movement, button and wheel event into a delay line and an action line.
#pragma once

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

 private:
  bool gameMode_ = false;
};

}  // namespace tesmuro
