#include "record/hook_recorder.h"

namespace tesmuro {

HookRecorder::~HookRecorder() {
  recording_ = false;
  Uninstall();
}

bool HookRecorder::Install() {
  if (installed_) return true;
  installed_ = (host_.*install_)();
  recording_ = false;
  return true;
}

bool HookRecorder::Uninstall() {
  if (installed_) {
    (host_.*uninstall_)();
    installed_ = false;
  }
  recording_ = false;
  return true;
}

void HookRecorder::SetRecording(bool on) {
  if (on) lastTime_ = clock_.TickCount();
  recording_ = on;
}

int32_t HookRecorder::TakeDelay(uint32_t tick) {
  if (static_cast<int32_t>(tick - lastTime_) < 0) tick = lastTime_;
  const auto delay = static_cast<int32_t>(tick - lastTime_);
  lastTime_ = tick;
  return delay;
}

}  // namespace tesmuro
