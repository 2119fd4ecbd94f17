// The state both low-level hook recorders share: the hook, the recording
// flag and the recorder's last-event time.
#pragma once

#include <cstdint>

#include "os/platform.h"

namespace tesmuro {

class HookRecorder {
 public:
  HookRecorder(const HookRecorder&) = delete;
  HookRecorder& operator=(const HookRecorder&) = delete;

  // Installs the hook unless it is installed; clears the recording flag when
  // it installs. A failed installation is not reported.
  bool Install();
  // Removes the hook if installed; always clears the recording flag.
  bool Uninstall();
  // Switching on first stamps the last-event time with the tick count.
  void SetRecording(bool on);
  uint32_t GetLastTime() const { return lastTime_; }
  void SetLastTime(uint32_t t) { lastTime_ = t; }

  bool Installed() const { return installed_; }
  bool Recording() const { return recording_; }

 protected:
  using InstallFn = bool (IHookHost::*)();
  using UninstallFn = void (IHookHost::*)();
  HookRecorder(IHookHost& host, IClock& clock, InstallFn install, UninstallFn uninstall)
      : host_(host), clock_(clock), install_(install), uninstall_(uninstall) {}
  ~HookRecorder();

  // The delay line's value for an event the hook saw at `tick`: the time
  // since this recorder's last event, which then moves to `tick`. An event
  // that was queued before the last-event time was stamped (by Record, say)
  // counts from that stamp, never backwards.
  int32_t TakeDelay(uint32_t tick);

  IHookHost& host_;
  IClock& clock_;

 private:
  InstallFn install_;
  UninstallFn uninstall_;
  bool installed_ = false;
  bool recording_ = false;
  uint32_t lastTime_ = 0;
};

}  // namespace tesmuro
