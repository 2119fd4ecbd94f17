#include "app/services_win.h"

#include <cstring>

#include "os/desktop_win.h"
#include "os/winmm_win.h"
#include "play/input_sink_win.h"
#include "play/play_clock_win.h"
#include "play/shutdown_win.h"
#include "setup/settings_places_win.h"
#include "ui/win_util_win.h"

namespace tesmuro::win {
namespace {

// A name of the system's, in its ANSI code page, up to its first zero byte.
std::string Name(const char* field, size_t size) { return Utf8(AnsiToWide(std::string_view(field, strnlen(field, size)))); }

}  // namespace

SystemServices RealSystemServices() {
  SystemServices s;
  s.desktop = NewDesktop();
  s.player.input = play::NewWinInputSink(s.desktop);
  s.player.shutdown = play::NewWinShutdownRequester();
  s.player.newClock = [] { return std::make_unique<play::WinPlayClock>(); };
  s.settingsPlaces = std::make_shared<WinSettingsPlaces>();
  return s;
}

unsigned WinJoystickService::SetCapture(unsigned id, unsigned periodMs, bool changedOnly) {
  return winmm::JoySetCapture(window_, id, periodMs, changedOnly ? TRUE : FALSE);
}

unsigned WinJoystickService::ReleaseCapture(unsigned id) { return winmm::JoyReleaseCapture(id); }

unsigned WinJoystickService::GetNumDevs() { return winmm::JoyGetNumDevs(); }

unsigned WinJoystickService::GetPosEx(unsigned id) {
  JOYINFOEX info{};
  info.dwSize = sizeof info;
  info.dwFlags = JOY_RETURNALL;
  return winmm::JoyGetPosEx(id, &info);
}

unsigned WinJoystickService::GetDevCaps(unsigned id, JoyCaps& out) {
  JOYCAPSA c{};  // cleared: a failed query leaves no stale bytes behind
  const unsigned r = winmm::JoyGetDevCapsA(id, &c, sizeof c);
  out = JoyCaps{};
  if (r != JOYERR_NOERROR) return r;
  out.Mid = c.wMid;
  out.Pid = c.wPid;
  out.Pname = Name(c.szPname, sizeof c.szPname);
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
  out.RegKey = Name(c.szRegKey, sizeof c.szRegKey);
  out.OEMVxD = Name(c.szOEMVxD, sizeof c.szOEMVxD);
  return r;
}

}  // namespace tesmuro::win
