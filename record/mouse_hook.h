// The mouse recorder: a low-level mouse hook that, while recording, turns
// every movement, button and wheel event into a delay line and an action line.
#pragma once

#include "record/hook_recorder.h"

namespace tesmuro {

class TMouseHook : public HookRecorder {
 public:
  TMouseHook(IHookHost& host, IClock& clock)
      : HookRecorder(host, clock, &IHookHost::InstallMouseHook, &IHookHost::UninstallMouseHook) {}
};

}  // namespace tesmuro
