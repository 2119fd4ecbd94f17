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
  // recording, the hook code is 0 and the message is one of the eleven that
  // are recorded; anything else leaves the lines, the status bar and the
  // clock alone.
  void OnEvent(const MouseHookEvent& e, RecordSink& sink);
};

}  // namespace tesmuro
