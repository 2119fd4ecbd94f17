// The shared state of the virtual game controller: a named memory section that the winmm.dll test
// double (loaded into the program under test) and the control tool tesmuro_joypad.exe both map.
//
// The tool sets the controllers' positions and buttons and the double's behaviour; the double
// serves them through the joystick functions and reports back what it did: its captures, how many
// messages each capture posted, and a log of every joystick call the program made.
//
// One named mutex guards the whole section. The section lives as long as a process maps it: the
// double creates it when the program loads it, the tool only opens it (so a tool that finds no
// section knows that the double is not loaded).
#pragma once

#include <windows.h>

#include <cstdint>

namespace vpad {

// The double takes the place of winmm.dll in the system folder; the system's own winmm.dll is kept
// there under this name, and the double hands every function but the joystick ones to it.
inline constexpr wchar_t kRealWinmm[] = L"tesmuro-real-winmm.dll";

inline constexpr wchar_t kSectionName[] = L"Local\\TesmuroVirtualPad";
inline constexpr wchar_t kMutexName[] = L"Local\\TesmuroVirtualPadLock";
inline constexpr uint32_t kMagic = 0x31504456;  // "VDP1": layout version 1

inline constexpr unsigned kIds = 16;          // ids the service knows; beyond them: JOYERR_PARMS
inline constexpr unsigned kPads = 4;          // ids that can be plugged in (0..3)
inline constexpr unsigned kCapturePads = 2;   // ids with capture messages (MM_JOY1*, MM_JOY2*)
inline constexpr unsigned kLogSize = 1024;    // calls kept in the log; later ones are only counted
inline constexpr uint32_t kMinPeriodMs = 10;  // a capture's period is clamped to [min, max]
inline constexpr uint32_t kMaxPeriodMs = 1000;
inline constexpr uint32_t kCentre = 32767;

// What joySetCapture does with a controller that is captured already.
enum Recapture : uint32_t {
  kKeepFirst = 0,  // refuses with JOYERR_NOCANDO; the first capture goes on
  kReplace = 1,    // ends the first capture and starts the new one
};

struct Pad {
  uint32_t x, y, buttons;
};

struct Capture {
  uint32_t active;
  uint32_t hwnd;
  uint32_t period;        // ms, after clamping
  uint32_t changed_only;  // the flag the capture was made with
  uint32_t ticks;         // polls done
  uint32_t seen_seq;      // `seq` as read by the last poll, whose messages are posted already
  uint32_t moves, downs, ups;  // messages posted
};

enum Fn : uint32_t {
  kFnNone = 0,
  kFnGetNumDevs,
  kFnGetPos,
  kFnGetPosEx,
  kFnGetDevCapsA,
  kFnGetDevCapsW,
  kFnSetCapture,
  kFnReleaseCapture,
  kFnGetThreshold,
  kFnSetThreshold,
  kFnConfigChanged,
};

// One joystick call: the function, up to four arguments (by function, see FormatCall) and the result.
struct Call {
  uint32_t fn;
  uint32_t a, b, c, d;
  uint32_t result;
};

struct Shared {
  uint32_t magic;
  // Set by the tool.
  uint32_t connected;  // ids 0 .. connected-1 are plugged in (at most kPads)
  uint32_t num_devs;   // what joyGetNumDevs answers
  uint32_t recapture;  // Recapture
  uint32_t seq;        // bumped by every change of a pad
  Pad pad[kPads];
  // Set by the double.
  Capture capture[kCapturePads];
  uint32_t calls;  // calls made; the first kLogSize are in `log`
  Call log[kLogSize];
};

inline void Reset(Shared& s) {
  ZeroMemory(&s, sizeof s);
  s.connected = 1;
  s.num_devs = kIds;
  s.recapture = kKeepFirst;
  for (Pad& p : s.pad) p = Pad{kCentre, kCentre, 0};
  s.magic = kMagic;
}

inline const char* FnName(uint32_t fn) {
  switch (fn) {
    case kFnGetNumDevs: return "joyGetNumDevs";
    case kFnGetPos: return "joyGetPos";
    case kFnGetPosEx: return "joyGetPosEx";
    case kFnGetDevCapsA: return "joyGetDevCapsA";
    case kFnGetDevCapsW: return "joyGetDevCapsW";
    case kFnSetCapture: return "joySetCapture";
    case kFnReleaseCapture: return "joyReleaseCapture";
    case kFnGetThreshold: return "joyGetThreshold";
    case kFnSetThreshold: return "joySetThreshold";
    case kFnConfigChanged: return "joyConfigChanged";
    default: return "?";
  }
}

// A call as one line, e.g. "joySetCapture 0x00010064 0 100 1 -> 166" (window, id, period,
// changed-only flag, result). `buf` holds at least 128 characters.
inline void FormatCall(const Call& c, char* buf) {
  const char* name = FnName(c.fn);
  switch (c.fn) {
    case kFnGetNumDevs:
      wsprintfA(buf, "%s -> %u", name, c.result);
      break;
    case kFnGetPosEx:  // id, dwSize, dwFlags
      wsprintfA(buf, "%s %u size=%u flags=0x%X -> %u", name, c.a, c.b, c.c, c.result);
      break;
    case kFnGetDevCapsA:
    case kFnGetDevCapsW:  // id, size
      wsprintfA(buf, "%s %u size=%u -> %u", name, c.a, c.b, c.result);
      break;
    case kFnSetCapture:  // window, id, period, changed-only
      wsprintfA(buf, "%s 0x%08X %u %u %u -> %u", name, c.a, c.b, c.c, c.d, c.result);
      break;
    case kFnSetThreshold:  // id, threshold
      wsprintfA(buf, "%s %u %u -> %u", name, c.a, c.b, c.result);
      break;
    case kFnConfigChanged:  // flags
      wsprintfA(buf, "%s 0x%X -> %u", name, c.a, c.result);
      break;
    default:  // id
      wsprintfA(buf, "%s %u -> %u", name, c.a, c.result);
      break;
  }
}

// Holds the section's mutex for its lifetime. A mutex abandoned by a process that ended while
// holding it is taken over: the section's fields are each written whole, so they stay usable.
class Lock {
 public:
  explicit Lock(HANDLE mutex) : mutex_(mutex) { WaitForSingleObject(mutex_, INFINITE); }
  ~Lock() { ReleaseMutex(mutex_); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
  HANDLE mutex_;
};

// Maps the section. With `create`, makes it (fresh, with the default state) if no process has it;
// else only opens an existing one. Returns null (and no handles) on failure.
inline Shared* MapShared(bool create, HANDLE& mutex, HANDLE& section) {
  mutex = CreateMutexW(nullptr, FALSE, kMutexName);
  if (!mutex) return nullptr;
  Shared* s = nullptr;
  {
    Lock lock(mutex);
    section = create ? CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Shared), kSectionName)
                     : OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kSectionName);
    if (section) {
      s = static_cast<Shared*>(MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
      // A new section is all zeros; set it up under the lock, so no one sees it half made.
      if (s && s->magic != kMagic) Reset(*s);
    }
  }
  if (!s) {
    if (section) CloseHandle(section);
    CloseHandle(mutex);
    section = mutex = nullptr;
  }
  return s;
}

}  // namespace vpad
