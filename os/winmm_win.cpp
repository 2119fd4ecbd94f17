#include "os/winmm_win.h"

#include "os/system_library_win.h"

namespace tesmuro::win::winmm {
namespace {

struct Functions {
  MMRESULT(WINAPI* joySetCapture)(HWND, UINT, UINT, BOOL) = nullptr;
  MMRESULT(WINAPI* joyReleaseCapture)(UINT) = nullptr;
  UINT(WINAPI* joyGetNumDevs)() = nullptr;
  MMRESULT(WINAPI* joyGetPosEx)(UINT, JOYINFOEX*) = nullptr;
  MMRESULT(WINAPI* joyGetDevCapsA)(UINT_PTR, JOYCAPSA*, UINT) = nullptr;
  MMRESULT(WINAPI* timeBeginPeriod)(UINT) = nullptr;
  MMRESULT(WINAPI* timeEndPeriod)(UINT) = nullptr;
};

template <typename Fn>
void Resolve(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loaded once, by whichever thread comes first; the library stays loaded for
// the life of the process.
const Functions& Get() {
  static const Functions functions = [] {
    Functions f;
    if (HMODULE m = LoadSystemLibrary(L"winmm.dll")) {
      Resolve(m, "joySetCapture", f.joySetCapture);
      Resolve(m, "joyReleaseCapture", f.joyReleaseCapture);
      Resolve(m, "joyGetNumDevs", f.joyGetNumDevs);
      Resolve(m, "joyGetPosEx", f.joyGetPosEx);
      Resolve(m, "joyGetDevCapsA", f.joyGetDevCapsA);
      Resolve(m, "timeBeginPeriod", f.timeBeginPeriod);
      Resolve(m, "timeEndPeriod", f.timeEndPeriod);
    }
    return f;
  }();
  return functions;
}

}  // namespace

void Load() { Get(); }

MMRESULT JoySetCapture(HWND window, UINT id, UINT periodMs, BOOL changedOnly) {
  const auto fn = Get().joySetCapture;
  return fn ? fn(window, id, periodMs, changedOnly) : MMSYSERR_NODRIVER;
}

MMRESULT JoyReleaseCapture(UINT id) {
  const auto fn = Get().joyReleaseCapture;
  return fn ? fn(id) : MMSYSERR_NODRIVER;
}

UINT JoyGetNumDevs() {
  const auto fn = Get().joyGetNumDevs;
  return fn ? fn() : 0;
}

MMRESULT JoyGetPosEx(UINT id, JOYINFOEX* info) {
  const auto fn = Get().joyGetPosEx;
  return fn ? fn(id, info) : MMSYSERR_NODRIVER;
}

MMRESULT JoyGetDevCapsA(UINT_PTR id, JOYCAPSA* caps, UINT size) {
  const auto fn = Get().joyGetDevCapsA;
  return fn ? fn(id, caps, size) : MMSYSERR_NODRIVER;
}

MMRESULT TimeBeginPeriod(UINT periodMs) {
  const auto fn = Get().timeBeginPeriod;
  return fn ? fn(periodMs) : TIMERR_NOCANDO;
}

MMRESULT TimeEndPeriod(UINT periodMs) {
  const auto fn = Get().timeEndPeriod;
  return fn ? fn(periodMs) : TIMERR_NOCANDO;
}

}  // namespace tesmuro::win::winmm
