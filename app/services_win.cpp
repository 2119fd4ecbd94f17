#include "app/services_win.h"

#include <mmsystem.h>

#include <cstring>

namespace tesmuro::win {

unsigned WinJoystickService::SetCapture(unsigned id, unsigned periodMs, bool changedOnly) {
  return joySetCapture(window_, id, periodMs, changedOnly ? TRUE : FALSE);
}

unsigned WinJoystickService::ReleaseCapture(unsigned id) { return joyReleaseCapture(id); }

unsigned WinJoystickService::GetNumDevs() { return joyGetNumDevs(); }

unsigned WinJoystickService::GetPosEx(unsigned id) {
  JOYINFOEX info{};
  info.dwSize = sizeof info;
  info.dwFlags = JOY_RETURNALL;
  return joyGetPosEx(id, &info);
}

unsigned WinJoystickService::GetDevCaps(unsigned id, JoyCaps& out) {
  JOYCAPSA c{};
  const unsigned r = joyGetDevCapsA(id, &c, sizeof c);
  out = JoyCaps{};
  if (r != JOYERR_NOERROR) return r;
  out.Mid = c.wMid;
  out.Pid = c.wPid;
  std::memcpy(out.Pname, c.szPname, sizeof out.Pname);
  out.Pname[sizeof out.Pname - 1] = '\0';
  out.Xmin = c.wXmin; out.Xmax = c.wXmax;
  out.Ymin = c.wYmin; out.Ymax = c.wYmax;
  out.Zmin = c.wZmin; out.Zmax = c.wZmax;
  out.NumButtons = c.wNumButtons;
  out.PeriodMin = c.wPeriodMin; out.PeriodMax = c.wPeriodMax;
  out.Rmin = c.wRmin; out.Rmax = c.wRmax;
  out.Umin = c.wUmin; out.Umax = c.wUmax;
  out.Vmin = c.wVmin; out.Vmax = c.wVmax;
  out.Caps = c.wCaps;
  out.MaxAxes = c.wMaxAxes;
  out.NumAxes = c.wNumAxes;
  out.MaxButtons = c.wMaxButtons;
  std::memcpy(out.RegKey, c.szRegKey, sizeof out.RegKey);
  out.RegKey[sizeof out.RegKey - 1] = '\0';
  std::memcpy(out.OEMVxD, c.szOEMVxD, sizeof out.OEMVxD);
  out.OEMVxD[sizeof out.OEMVxD - 1] = '\0';
  return r;
}

}  // namespace tesmuro::win
