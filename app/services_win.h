// The operating-system services behind the core's small interfaces.
#pragma once

#include <windows.h>

#include "os/platform.h"

namespace tesmuro::win {

class WinClock : public IClock {
 public:
  uint32_t TickCount() override { return GetTickCount(); }
};

// Joystick capture and queries through the multimedia joystick functions;
// captured controllers report to `window`.
class WinJoystickService : public IJoystickService {
 public:
  void SetWindow(HWND window) { window_ = window; }
  unsigned SetCapture(unsigned id, unsigned periodMs, bool changedOnly) override;
  unsigned ReleaseCapture(unsigned id) override;
  unsigned GetNumDevs() override;
  unsigned GetPosEx(unsigned id) override;
  unsigned GetDevCaps(unsigned id, JoyCaps& caps) override;

 private:
  HWND window_ = nullptr;
};

}  // namespace tesmuro::win
