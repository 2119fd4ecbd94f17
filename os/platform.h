// Small interfaces through which the core reaches the operating system.
// The Windows program implements them over the real services; tests use fakes.
#pragma once

#include <cstdint>
#include <string>

namespace tesmuro {

// The system's millisecond tick counter (32 bits, wraps after 49.7 days).
class IClock {
 public:
  virtual ~IClock() = default;
  virtual uint32_t TickCount() = 0;
};

// Installs and removes the program's low-level mouse and keyboard hooks.
class IHookHost {
 public:
  virtual ~IHookHost() = default;
  virtual bool InstallMouseHook() = 0;
  virtual void UninstallMouseHook() = 0;
  virtual bool InstallKeyboardHook() = 0;
  virtual void UninstallKeyboardHook() = 0;
  // Called now and then while the keyboard hook matters: installs it again
  // when the system seems to have removed it. True when it had been removed
  // (the user is told); false when all is well or nothing could be told.
  virtual bool CheckKeyboardHook() { return false; }
  // The mouse's relative motion, from raw input, as mouse events of
  // kRawMotionMessage (record/hook_events.h); for game mode. False where
  // there is none.
  virtual bool InstallRawMotion() { return false; }
  virtual void UninstallRawMotion() {}
};

// The capability record of a game controller, as the system reports it;
// the names are UTF-8, each up to its first zero byte.
struct JoyCaps {
  uint16_t Mid = 0;
  uint16_t Pid = 0;
  std::string Pname;
  uint32_t Xmin = 0, Xmax = 0, Ymin = 0, Ymax = 0, Zmin = 0, Zmax = 0;
  uint32_t NumButtons = 0, PeriodMin = 0, PeriodMax = 0;
  uint32_t Rmin = 0, Rmax = 0, Umin = 0, Umax = 0, Vmin = 0, Vmax = 0;
  uint32_t Caps = 0, MaxAxes = 0, NumAxes = 0, MaxButtons = 0;
  std::string RegKey;
  std::string OEMVxD;
};

// The system's joystick services. Results are the system's result codes
// (0 for success, 165 for an id beyond the supported range).
class IJoystickService {
 public:
  virtual ~IJoystickService() = default;
  virtual unsigned SetCapture(unsigned id, unsigned periodMs, bool changedOnly) = 0;
  virtual unsigned ReleaseCapture(unsigned id) = 0;
  virtual unsigned GetNumDevs() = 0;
  virtual unsigned GetPosEx(unsigned id) = 0;
  virtual unsigned GetDevCaps(unsigned id, JoyCaps& caps) = 0;
};

}  // namespace tesmuro
