// winmm.dll test double: the joystick functions serve virtual game controllers whose state lives in
// the shared section of virtual_pad.h; every other function of winmm.dll goes to the real DLL
// (forward_stubs.cpp, generated from forwarded_exports.txt).
//
// The program takes winmm.dll from the system folder only, so the tests put the double there (the
// test prefix's system32) and load it with WINEDLLOVERRIDES="winmm=n,b"; the system's own
// winmm.dll is kept beside it as vpad::kRealWinmm, and the forwarded functions are taken from that
// file (under Wine a copy of the builtin, which loads under its new name like any library).
//
// The controllers: ids 0 .. connected-1 are plugged in (one by default), ids up to 15 answer
// JOYERR_UNPLUGGED, ids from 16 on JOYERR_PARMS. A capture (joySetCapture) runs a thread that polls
// the shared state every period and posts to the window, like the system's capture:
//   MM_JOYnMOVE        every poll, or with the changed-only flag only when X or Y moved by more
//                      than the threshold; wParam = buttons held, lParam = X | Y << 16
//   MM_JOYnBUTTONDOWN  when buttons went down; wParam = held | pressed << 8
//   MM_JOYnBUTTONUP    when buttons came up; wParam = held | released << 8
// for ids 0 (n = 1) and 1 (n = 2). Only the first four buttons appear in the messages.
#include <windows.h>
#include <mmsystem.h>

#include <cstddef>
#include <cstdint>

#include "virtual_pad.h"

namespace {

using vpad::Shared;

HANDLE g_mutex = nullptr;
HANDLE g_section = nullptr;
Shared* g_shared = nullptr;

// The real winmm.dll, loaded on the first forwarded call.
HMODULE g_real = nullptr;
CRITICAL_SECTION g_realLock;

struct LocalCapture {
  HANDLE thread = nullptr;
  HANDLE stop = nullptr;
};
CRITICAL_SECTION g_captureLock;  // guards g_captures and g_thresholds
LocalCapture g_captures[vpad::kCapturePads];
UINT g_thresholds[vpad::kIds] = {};

// ---- the shared state ----------------------------------------------------------------------

bool Ready() { return g_shared != nullptr; }

MMRESULT Logged(uint32_t fn, uint32_t a, uint32_t b, uint32_t c, uint32_t d, MMRESULT result) {
  if (!Ready()) return result;
  vpad::Lock lock(g_mutex);
  const uint32_t n = g_shared->calls++;
  if (n < vpad::kLogSize) g_shared->log[n] = vpad::Call{fn, a, b, c, d, result};
  return result;
}

// JOYERR_NOERROR for a plugged-in id, else the error the service gives for it.
MMRESULT IdStatus(UINT id) {
  if (id >= vpad::kIds) return JOYERR_PARMS;
  if (!Ready()) return JOYERR_UNPLUGGED;
  vpad::Lock lock(g_mutex);
  return id < g_shared->connected && id < vpad::kPads ? JOYERR_NOERROR : JOYERR_UNPLUGGED;
}

vpad::Pad ReadPad(UINT id, uint32_t* seq = nullptr) {
  vpad::Lock lock(g_mutex);
  if (seq) *seq = g_shared->seq;
  return g_shared->pad[id];
}

uint32_t ButtonCount(uint32_t buttons) {
  uint32_t n = 0;
  for (; buttons; buttons &= buttons - 1) ++n;
  return n;
}

// ---- capture -------------------------------------------------------------------------------

struct CaptureParams {
  UINT id;
  HWND hwnd;
  UINT period;
  BOOL changedOnly;
  UINT threshold;
  HANDLE stop;
  vpad::Pad start;  // the state when the capture was made: nothing to report about it
};

UINT Distance(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }

DWORD WINAPI CaptureThread(void* arg) {
  const CaptureParams p = *static_cast<CaptureParams*>(arg);
  HeapFree(GetProcessHeap(), 0, arg);
  const UINT move = MM_JOY1MOVE + p.id;
  const UINT down = MM_JOY1BUTTONDOWN + p.id;
  const UINT up = MM_JOY1BUTTONUP + p.id;
  vpad::Pad last = p.start;
  for (;;) {
    if (WaitForSingleObject(p.stop, p.period) != WAIT_TIMEOUT) return 0;
    if (!IsWindow(p.hwnd)) break;  // the window is gone: the capture ends
    uint32_t seq = 0;
    const vpad::Pad now = ReadPad(p.id, &seq);
    const WPARAM held = now.buttons & 0xF;
    const LPARAM at = static_cast<LPARAM>((now.x & 0xFFFF) | (now.y & 0xFFFF) << 16);
    const bool moved = Distance(now.x, last.x) > p.threshold || Distance(now.y, last.y) > p.threshold;
    uint32_t moves = 0, downs = 0, ups = 0;
    if (!p.changedOnly || moved) {
      if (PostMessageW(p.hwnd, move, held, at)) ++moves;
      // With the changed-only flag, a move is measured from the last position reported.
      last.x = now.x;
      last.y = now.y;
    }
    const uint32_t pressed = now.buttons & ~last.buttons & 0xF;
    const uint32_t released = last.buttons & ~now.buttons & 0xF;
    if (pressed && PostMessageW(p.hwnd, down, held | pressed << 8, at)) ++downs;
    if (released && PostMessageW(p.hwnd, up, held | released << 8, at)) ++ups;
    last.buttons = now.buttons;
    vpad::Lock lock(g_mutex);
    vpad::Capture& c = g_shared->capture[p.id];
    ++c.ticks;
    c.seen_seq = seq;
    c.moves += moves;
    c.downs += downs;
    c.ups += ups;
  }
  vpad::Lock lock(g_mutex);
  g_shared->capture[p.id].active = 0;
  return 0;
}

// Ends the capture of `id` in this process, if any. Caller holds g_captureLock.
void EndCapture(UINT id) {
  LocalCapture& c = g_captures[id];
  if (!c.thread) return;
  SetEvent(c.stop);
  WaitForSingleObject(c.thread, 5000);
  CloseHandle(c.thread);
  CloseHandle(c.stop);
  c = LocalCapture{};
  vpad::Lock lock(g_mutex);
  g_shared->capture[id].active = 0;
}

// Whether `id` has a running capture. Caller holds g_captureLock.
bool Captured(UINT id) {
  LocalCapture& c = g_captures[id];
  if (!c.thread) return false;
  if (WaitForSingleObject(c.thread, 0) == WAIT_TIMEOUT) return true;
  EndCapture(id);  // it ended by itself (its window is gone)
  return false;
}

MMRESULT SetCapture(HWND hwnd, UINT id, UINT period, BOOL changedOnly) {
  if (!hwnd || !IsWindow(hwnd) || id >= vpad::kIds) return JOYERR_PARMS;
  if (const MMRESULT r = IdStatus(id)) return r;
  if (id >= vpad::kCapturePads) return JOYERR_NOCANDO;  // no messages exist for it
  if (period < vpad::kMinPeriodMs) period = vpad::kMinPeriodMs;
  if (period > vpad::kMaxPeriodMs) period = vpad::kMaxPeriodMs;
  EnterCriticalSection(&g_captureLock);
  MMRESULT result = JOYERR_NOERROR;
  if (Captured(id)) {
    uint32_t policy;
    {
      vpad::Lock lock(g_mutex);
      policy = g_shared->recapture;
    }
    if (policy == vpad::kReplace) EndCapture(id);
    else result = JOYERR_NOCANDO;
  }
  if (result == JOYERR_NOERROR) {
    auto* p = static_cast<CaptureParams*>(HeapAlloc(GetProcessHeap(), 0, sizeof(CaptureParams)));
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (p && stop) {
      *p = CaptureParams{id, hwnd, period, changedOnly, g_thresholds[id], stop, ReadPad(id)};
      {
        vpad::Lock lock(g_mutex);
        vpad::Capture& c = g_shared->capture[id];
        c = vpad::Capture{};
        c.active = 1;
        c.hwnd = static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(hwnd));
        c.period = period;
        c.changed_only = changedOnly ? 1 : 0;
      }
      HANDLE thread = CreateThread(nullptr, 0, CaptureThread, p, 0, nullptr);
      if (thread) {
        g_captures[id] = LocalCapture{thread, stop};
      } else {
        HeapFree(GetProcessHeap(), 0, p);
        CloseHandle(stop);
        vpad::Lock lock(g_mutex);
        g_shared->capture[id].active = 0;
        result = JOYERR_NOCANDO;
      }
    } else {
      if (p) HeapFree(GetProcessHeap(), 0, p);
      if (stop) CloseHandle(stop);
      result = JOYERR_NOCANDO;
    }
  }
  LeaveCriticalSection(&g_captureLock);
  return result;
}

MMRESULT ReleaseCapture(UINT id) {
  if (id >= vpad::kIds) return JOYERR_PARMS;
  if (id < vpad::kCapturePads) {
    EnterCriticalSection(&g_captureLock);
    EndCapture(id);
    LeaveCriticalSection(&g_captureLock);
  }
  return JOYERR_NOERROR;
}

// ---- capabilities --------------------------------------------------------------------------

// The capability record of every plugged-in controller. Each range differs from the others, so a
// report that mixes up two fields shows it.
template <typename Caps>
void FillCaps(Caps& c) {
  c.wMid = 0xFFFE;  // 65534 and 32769: wrong when read as signed 16-bit numbers
  c.wPid = 0x8001;
  c.wXmin = 0;
  c.wXmax = 65535;
  c.wYmin = 0;
  c.wYmax = 65535;
  c.wZmin = 0;
  c.wZmax = 255;
  c.wNumButtons = 4;
  c.wPeriodMin = vpad::kMinPeriodMs;
  c.wPeriodMax = vpad::kMaxPeriodMs;
  c.wRmin = 1;
  c.wRmax = 1023;
  c.wUmin = 2;
  c.wUmax = 4095;
  c.wVmin = 0;
  c.wVmax = 0;
  c.wCaps = JOYCAPS_HASZ | JOYCAPS_HASR | JOYCAPS_HASU;
  c.wMaxAxes = 6;
  c.wNumAxes = 5;
  c.wMaxButtons = 32;
}

MMRESULT GetDevCapsA(UINT_PTR id, JOYCAPSA* caps, UINT size) {
  if (id >= vpad::kIds) return JOYERR_PARMS;
  if (!caps || size < offsetof(JOYCAPSA, wRmin)) return MMSYSERR_INVALPARAM;
  if (const MMRESULT r = IdStatus(static_cast<UINT>(id))) return r;
  JOYCAPSA c{};
  FillCaps(c);
  lstrcpynA(c.szPname, "Tesmuro Virtual Pad", sizeof c.szPname);
  lstrcpynA(c.szRegKey, "TesmuroVirtualPad", sizeof c.szRegKey);
  lstrcpynA(c.szOEMVxD, "Tesmuro OEM \xE9", sizeof c.szOEMVxD);  // e acute in code page 1252
  CopyMemory(caps, &c, size < sizeof c ? size : sizeof c);
  return JOYERR_NOERROR;
}

MMRESULT GetDevCapsW(UINT_PTR id, JOYCAPSW* caps, UINT size) {
  if (id >= vpad::kIds) return JOYERR_PARMS;
  if (!caps || size < offsetof(JOYCAPSW, wRmin)) return MMSYSERR_INVALPARAM;
  if (const MMRESULT r = IdStatus(static_cast<UINT>(id))) return r;
  JOYCAPSW c{};
  FillCaps(c);
  lstrcpynW(c.szPname, L"Tesmuro Virtual Pad", sizeof c.szPname / sizeof(WCHAR));
  lstrcpynW(c.szRegKey, L"TesmuroVirtualPad", sizeof c.szRegKey / sizeof(WCHAR));
  lstrcpynW(c.szOEMVxD, L"Tesmuro OEM \u00E9", sizeof c.szOEMVxD / sizeof(WCHAR));
  CopyMemory(caps, &c, size < sizeof c ? size : sizeof c);
  return JOYERR_NOERROR;
}

// ---- positions -----------------------------------------------------------------------------

MMRESULT GetPosEx(UINT id, JOYINFOEX* info) {
  if (id >= vpad::kIds) return JOYERR_PARMS;
  if (!info || info->dwSize < sizeof(JOYINFOEX)) return MMSYSERR_INVALPARAM;
  if (const MMRESULT r = IdStatus(id)) return r;
  const vpad::Pad p = ReadPad(id);
  const DWORD f = info->dwFlags;
  if (f & JOY_RETURNX) info->dwXpos = p.x;
  if (f & JOY_RETURNY) info->dwYpos = p.y;
  if (f & JOY_RETURNZ) info->dwZpos = 128;
  if (f & JOY_RETURNR) info->dwRpos = 512;
  if (f & JOY_RETURNU) info->dwUpos = 2048;
  if (f & JOY_RETURNV) info->dwVpos = 0;
  if (f & JOY_RETURNBUTTONS) {
    info->dwButtons = p.buttons;
    info->dwButtonNumber = ButtonCount(p.buttons);
  }
  if (f & JOY_RETURNPOV) info->dwPOV = JOY_POVCENTERED;
  return JOYERR_NOERROR;
}

MMRESULT GetPos(UINT id, JOYINFO* info) {
  if (id >= vpad::kIds) return JOYERR_PARMS;
  if (!info) return MMSYSERR_INVALPARAM;
  if (const MMRESULT r = IdStatus(id)) return r;
  const vpad::Pad p = ReadPad(id);
  info->wXpos = p.x;
  info->wYpos = p.y;
  info->wZpos = 128;
  info->wButtons = p.buttons & 0xF;
  return JOYERR_NOERROR;
}

}  // namespace

// ---- exports (named in winmm.def) ----------------------------------------------------------

extern "C" {

UINT WINAPI vj_joyGetNumDevs() {
  UINT n = 0;
  if (Ready()) {
    vpad::Lock lock(g_mutex);
    n = g_shared->num_devs;
  }
  return Logged(vpad::kFnGetNumDevs, 0, 0, 0, 0, n);  // the log's result is the count
}

MMRESULT WINAPI vj_joyGetPosEx(UINT id, JOYINFOEX* info) {
  const MMRESULT r = GetPosEx(id, info);
  return Logged(vpad::kFnGetPosEx, id, info ? info->dwSize : 0, info ? info->dwFlags : 0, 0, r);
}

MMRESULT WINAPI vj_joyGetPos(UINT id, JOYINFO* info) { return Logged(vpad::kFnGetPos, id, 0, 0, 0, GetPos(id, info)); }

MMRESULT WINAPI vj_joyGetDevCapsA(UINT_PTR id, JOYCAPSA* caps, UINT size) {
  return Logged(vpad::kFnGetDevCapsA, static_cast<uint32_t>(id), size, 0, 0, GetDevCapsA(id, caps, size));
}

MMRESULT WINAPI vj_joyGetDevCapsW(UINT_PTR id, JOYCAPSW* caps, UINT size) {
  return Logged(vpad::kFnGetDevCapsW, static_cast<uint32_t>(id), size, 0, 0, GetDevCapsW(id, caps, size));
}

MMRESULT WINAPI vj_joySetCapture(HWND hwnd, UINT id, UINT period, BOOL changed) {
  const MMRESULT r = SetCapture(hwnd, id, period, changed);
  return Logged(vpad::kFnSetCapture, static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(hwnd)), id, period,
                changed ? 1 : 0, r);
}

MMRESULT WINAPI vj_joyReleaseCapture(UINT id) { return Logged(vpad::kFnReleaseCapture, id, 0, 0, 0, ReleaseCapture(id)); }

MMRESULT WINAPI vj_joyGetThreshold(UINT id, UINT* threshold) {
  MMRESULT r = JOYERR_PARMS;
  if (id < vpad::kIds && threshold) {
    EnterCriticalSection(&g_captureLock);
    *threshold = g_thresholds[id];
    LeaveCriticalSection(&g_captureLock);
    r = JOYERR_NOERROR;
  }
  return Logged(vpad::kFnGetThreshold, id, 0, 0, 0, r);
}

MMRESULT WINAPI vj_joySetThreshold(UINT id, UINT threshold) {
  MMRESULT r = JOYERR_PARMS;
  if (id < vpad::kIds) {
    EnterCriticalSection(&g_captureLock);
    g_thresholds[id] = threshold;  // used by the next capture of the id
    LeaveCriticalSection(&g_captureLock);
    r = JOYERR_NOERROR;
  }
  return Logged(vpad::kFnSetThreshold, id, threshold, 0, 0, r);
}

MMRESULT WINAPI vj_joyConfigChanged(DWORD flags) { return Logged(vpad::kFnConfigChanged, flags, 0, 0, 0, JOYERR_NOERROR); }

// The forwarding stubs call this on their first call: the address of `name` in the real DLL,
// stored in *slot for the later calls. A name the real DLL lacks ends the process with a message:
// the stub cannot know how many arguments to drop from the stack.
void* __cdecl vj_resolve_forward(const char* name, void** slot) {
  EnterCriticalSection(&g_realLock);
  if (!g_real) {
    wchar_t path[MAX_PATH + 16];
    const UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
      lstrcatW(path, L"\\");
      lstrcatW(path, vpad::kRealWinmm);
      g_real = LoadLibraryW(path);
    }
  }
  LeaveCriticalSection(&g_realLock);
  void* f = g_real ? reinterpret_cast<void*>(GetProcAddress(g_real, name)) : nullptr;
  if (!f) {
    char message[200];
    wsprintfA(message, "winmm test double: the real winmm.dll (%ls in the system folder) has no %s",
              vpad::kRealWinmm, name);
    OutputDebugStringA(message);
    FatalAppExitA(0, message);
  }
  *slot = f;
  return f;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    InitializeCriticalSection(&g_realLock);
    InitializeCriticalSection(&g_captureLock);
    g_shared = vpad::MapShared(/*create=*/true, g_mutex, g_section);
  } else if (reason == DLL_PROCESS_DETACH && !reserved) {
    // Unloaded while the process goes on: stop the polls (they must not outlive the code).
    for (auto& c : g_captures)
      if (c.stop) SetEvent(c.stop);
  }
  return TRUE;
}

}  // extern "C"
