// The operating-system services behind the core's small interfaces.
#pragma once

#include <windows.h>

#include <memory>

#include "os/desktop.h"
#include "os/platform.h"
#include "play/player_services.h"
#include "setup/settings_places.h"

namespace tesmuro::win {

// The system's services the program hands down, built once in its main
// (app/main_win.cpp): the player's input, shutdown and clocks, the desktop the
// waits and the window lines look at, and where the settings may live. The
// benchmarks build theirs the same way.
struct SystemServices {
  play::PlayerServices player;
  std::shared_ptr<IDesktop> desktop;
  std::shared_ptr<ISettingsPlaces> settingsPlaces;
};
// The real ones: SendInput, ExitWindowsEx, the performance counter's clock.
SystemServices RealSystemServices();

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
