// tesmuro_joypad.exe: sets and reads the virtual game controllers of the winmm.dll test double.
// The double must be loaded (by the program under test) for any command to work.
//
//   status                       key=value lines: the setup, the pads and the captures
//   set [--pad N] [--x X] [--y Y] [--buttons B] [--connected N] [--num-devs N]
//       [--recapture keep|replace] [--sync [--ticks T]] [--timeout MS]
//                                change the state; with --sync, wait until the capture of the pad
//                                has posted the new state (and T polls in all, default 1)
//   sync [--pad N] [--ticks T] [--timeout MS]   that wait alone
//   calls                        the joystick calls the program made, one a line
//   clear-calls                  empty that log
//   check-forwarding DLL         load the double DLL into this tool and check that its other
//                                functions reach the real winmm.dll kept in the system folder
//                                (needs no running program)
// Exit status: 0 done, 1 failed, 2 bad usage, 3 deadline passed.
#include <windows.h>
#include <fcntl.h>
#include <mmsystem.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "virtual_pad.h"

namespace {

enum Exit { kDone = 0, kFailed = 1, kUsage = 2, kTimeout = 3 };

HANDLE g_mutex = nullptr;
vpad::Shared* g_shared = nullptr;

int Fail(int code, const char* message) {
  std::fprintf(stderr, "joypad: %s\n", message);
  return code;
}

bool ParseNumber(const char* s, uint32_t& out) {
  if (!s || !*s) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(s, &end, 0);
  if (*end || s[0] == '-') return false;
  out = static_cast<uint32_t>(v);
  return true;
}

struct Options {
  bool has_pad = false, has_x = false, has_y = false, has_buttons = false, has_connected = false,
       has_num_devs = false, has_recapture = false, sync = false;
  uint32_t pad = 0, x = 0, y = 0, buttons = 0, connected = 0, num_devs = 0, recapture = 0, ticks = 1,
           timeout_ms = 10000;
};

bool ParseOptions(int argc, char** argv, Options& o, std::string& error) {
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--sync") {
      o.sync = true;
      continue;
    }
    if (i + 1 >= argc) {
      error = a + " needs a value";
      return false;
    }
    const char* v = argv[++i];
    bool ok = true;
    if (a == "--pad") ok = ParseNumber(v, o.pad) && (o.has_pad = true);
    else if (a == "--x") ok = ParseNumber(v, o.x) && o.x <= 0xFFFF && (o.has_x = true);
    else if (a == "--y") ok = ParseNumber(v, o.y) && o.y <= 0xFFFF && (o.has_y = true);
    else if (a == "--buttons") ok = ParseNumber(v, o.buttons) && (o.has_buttons = true);
    else if (a == "--connected") ok = ParseNumber(v, o.connected) && o.connected <= vpad::kPads && (o.has_connected = true);
    else if (a == "--num-devs") ok = ParseNumber(v, o.num_devs) && (o.has_num_devs = true);
    else if (a == "--ticks") ok = ParseNumber(v, o.ticks) && o.ticks >= 1;
    else if (a == "--timeout") ok = ParseNumber(v, o.timeout_ms);
    else if (a == "--recapture") {
      o.has_recapture = true;
      if (std::strcmp(v, "keep") == 0) o.recapture = vpad::kKeepFirst;
      else if (std::strcmp(v, "replace") == 0) o.recapture = vpad::kReplace;
      else ok = false;
    } else {
      error = "unknown option " + a;
      return false;
    }
    if (!ok) {
      error = "bad value for " + a + ": " + v;
      return false;
    }
  }
  if (o.pad >= vpad::kPads) {
    error = "--pad must be below " + std::to_string(vpad::kPads);
    return false;
  }
  return true;
}

void PrintCapture(unsigned id, const vpad::Capture& c) {
  if (!c.active) {
    std::printf("capture%u=none\n", id);
  } else {
    std::printf("capture%u=0x%08X %u %u\n", id, static_cast<unsigned>(c.hwnd), static_cast<unsigned>(c.period),
                static_cast<unsigned>(c.changed_only));
  }
  std::printf("posted%u=%u %u %u\n", id, static_cast<unsigned>(c.moves), static_cast<unsigned>(c.downs),
              static_cast<unsigned>(c.ups));
  std::printf("ticks%u=%u\n", id, static_cast<unsigned>(c.ticks));
}

int CmdStatus() {
  vpad::Lock lock(g_mutex);
  const vpad::Shared& s = *g_shared;
  std::printf("connected=%u\nnum_devs=%u\nrecapture=%s\nseq=%u\n", static_cast<unsigned>(s.connected),
              static_cast<unsigned>(s.num_devs), s.recapture == vpad::kReplace ? "replace" : "keep",
              static_cast<unsigned>(s.seq));
  for (unsigned i = 0; i < vpad::kPads; ++i)
    std::printf("pad%u=%u,%u %u\n", i, static_cast<unsigned>(s.pad[i].x), static_cast<unsigned>(s.pad[i].y),
                static_cast<unsigned>(s.pad[i].buttons));
  for (unsigned i = 0; i < vpad::kCapturePads; ++i) PrintCapture(i, s.capture[i]);
  std::printf("calls=%u\n", static_cast<unsigned>(s.calls));
  return kDone;
}

// Waits until the capture of `pad` has posted the state of the current `seq`, then until it has
// polled `ticks` times in all from the first poll that saw it.
int Sync(const Options& o) {
  if (o.pad >= vpad::kCapturePads) return Fail(kUsage, "only pads 0 and 1 can be captured");
  const DWORD start = GetTickCount();
  auto expired = [&] { return GetTickCount() - start > o.timeout_ms; };
  uint32_t want_seq, first_tick = 0;
  bool seen = false;
  {
    vpad::Lock lock(g_mutex);
    want_seq = g_shared->seq;
  }
  for (;;) {
    {
      vpad::Lock lock(g_mutex);
      const vpad::Capture& c = g_shared->capture[o.pad];
      if (!c.active) {
        std::fprintf(stderr, "joypad: pad %u is not captured\n", static_cast<unsigned>(o.pad));
        return kFailed;
      }
      if (!seen && static_cast<int32_t>(c.seen_seq - want_seq) >= 0) {
        seen = true;
        first_tick = c.ticks;
      }
      if (seen && c.ticks - first_tick + 1 >= o.ticks) return kDone;
    }
    if (expired()) {
      std::fprintf(stderr, "joypad: the capture of pad %u did not post the state within %u ms\n",
                   static_cast<unsigned>(o.pad), static_cast<unsigned>(o.timeout_ms));
      return kTimeout;
    }
    Sleep(5);
  }
}

int CmdSet(const Options& o) {
  {
    vpad::Lock lock(g_mutex);
    vpad::Shared& s = *g_shared;
    vpad::Pad& p = s.pad[o.pad];
    if (o.has_x) p.x = o.x;
    if (o.has_y) p.y = o.y;
    if (o.has_buttons) p.buttons = o.buttons;
    if (o.has_connected) s.connected = o.connected;
    if (o.has_num_devs) s.num_devs = o.num_devs;
    if (o.has_recapture) s.recapture = o.recapture;
    ++s.seq;
  }
  return o.sync ? Sync(o) : kDone;
}

int CmdCalls() {
  vpad::Lock lock(g_mutex);
  const uint32_t n = g_shared->calls < vpad::kLogSize ? g_shared->calls : vpad::kLogSize;
  char line[160];
  for (uint32_t i = 0; i < n; ++i) {
    vpad::FormatCall(g_shared->log[i], line);
    std::printf("%s\n", line);
  }
  if (g_shared->calls > n)
    std::printf("... %u more calls not kept\n", static_cast<unsigned>(g_shared->calls - n));
  return kDone;
}

int CmdClearCalls() {
  vpad::Lock lock(g_mutex);
  g_shared->calls = 0;
  return kDone;
}

// ---- the forwarding of the double -----------------------------------------------------------

// The names a loaded module exports.
std::vector<std::string> ExportNames(HMODULE module) {
  std::vector<std::string> names;
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (!dir.VirtualAddress) return names;
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) names.emplace_back(reinterpret_cast<const char*>(base + rvas[i]));
  return names;
}

// A function of a module, as its type.
template <typename F>
F Proc(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, MAX_PATH);
  return path;
}

// Loads the double from `dll` beside the real winmm.dll and checks: the double is what was loaded;
// every function it exports but the joystick ones exists in the real DLL; calls through the
// double's stubs give what the real functions give; its joystick functions are its own.
int CmdCheckForwarding(const char* dll) {
  HMODULE fake = LoadLibraryA(dll);
  if (!fake) return Fail(kFailed, "cannot load the double");
  wchar_t system[MAX_PATH + 16];
  GetSystemDirectoryW(system, MAX_PATH);
  lstrcatW(system, L"\\");
  lstrcatW(system, vpad::kRealWinmm);
  HMODULE real = LoadLibraryW(system);
  if (!real) return Fail(kFailed, "cannot load the real winmm.dll kept in the system folder");
  std::printf("double: %s\nreal: %s\n", ModulePath(fake).c_str(), ModulePath(real).c_str());
  int failures = 0;
  auto check = [&](bool ok, const std::string& what) {
    if (!ok) {
      std::printf("FAILED: %s\n", what.c_str());
      ++failures;
    }
  };
  check(fake != real, "the double and the real DLL are one module");

  size_t forwarded = 0, own = 0;
  for (const std::string& name : ExportNames(fake)) {
    if (name.compare(0, 3, "joy") == 0) {
      ++own;
      continue;
    }
    ++forwarded;
    check(GetProcAddress(real, name.c_str()) != nullptr, "the real winmm.dll has no " + name);
  }
  std::printf("forwarded=%u\nown=%u\n", static_cast<unsigned>(forwarded), static_cast<unsigned>(own));

  // Functions with answers that do not change between two calls.
  using GetVersionFn = UINT(WINAPI*)();
  using GetDevCapsFn = MMRESULT(WINAPI*)(TIMECAPS*, UINT);
  using GetErrorTextFn = MMRESULT(WINAPI*)(MMRESULT, char*, UINT);
  auto fakeVersion = Proc<GetVersionFn>(fake, "mmsystemGetVersion");
  auto realVersion = Proc<GetVersionFn>(real, "mmsystemGetVersion");
  auto fakeCaps = Proc<GetDevCapsFn>(fake, "timeGetDevCaps");
  auto realCaps = Proc<GetDevCapsFn>(real, "timeGetDevCaps");
  auto fakeText = Proc<GetErrorTextFn>(fake, "waveOutGetErrorTextA");
  auto realText = Proc<GetErrorTextFn>(real, "waveOutGetErrorTextA");
  if (!fakeVersion || !realVersion || !fakeCaps || !realCaps || !fakeText || !realText)
    return Fail(kFailed, "a function to compare is missing");
  check(fakeVersion != realVersion, "mmsystemGetVersion of the double is the real one: nothing is forwarded");
  for (int round = 0; round < 2; ++round) {  // the first call resolves the stub, the second jumps
    check(fakeVersion() == realVersion(), "mmsystemGetVersion differs");
    TIMECAPS a{}, b{};
    const MMRESULT ra = fakeCaps(&a, sizeof a), rb = realCaps(&b, sizeof b);
    check(ra == rb && a.wPeriodMin == b.wPeriodMin && a.wPeriodMax == b.wPeriodMax, "timeGetDevCaps differs");
    char ta[256] = {}, tb[256] = {};
    check(fakeText(MMSYSERR_NOMEM, ta, sizeof ta) == realText(MMSYSERR_NOMEM, tb, sizeof tb) && std::strcmp(ta, tb) == 0 &&
              ta[0] != 0,
          "waveOutGetErrorTextA differs");
  }

  using NumDevsFn = UINT(WINAPI*)();
  auto fakeNum = Proc<NumDevsFn>(fake, "joyGetNumDevs");
  auto realNum = Proc<NumDevsFn>(real, "joyGetNumDevs");
  check(fakeNum && fakeNum != realNum && fakeNum() == vpad::kIds, "joyGetNumDevs is not the double's");
  std::printf(failures ? "forwarding is broken\n" : "forwarding works\n");
  return failures ? kFailed : kDone;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // "\n" line ends, as the test scripts read them
  if (argc < 2) return Fail(kUsage, "no command: status, set, sync, calls or clear-calls");
  const std::string command = argv[1];
  if (command == "check-forwarding") {
    if (argc != 3) return Fail(kUsage, "check-forwarding wants the path of the double");
    const int rc = CmdCheckForwarding(argv[2]);
    std::fflush(stdout);
    return rc;
  }
  Options o;
  std::string error;
  if (!ParseOptions(argc, argv, o, error)) return Fail(kUsage, error.c_str());
  HANDLE section = nullptr;
  g_shared = vpad::MapShared(/*create=*/false, g_mutex, section);
  if (!g_shared) return Fail(kFailed, "no virtual pad: the winmm.dll test double is not loaded by any program");
  int rc;
  if (command == "status") rc = CmdStatus();
  else if (command == "set") rc = CmdSet(o);
  else if (command == "sync") rc = Sync(o);
  else if (command == "calls") rc = CmdCalls();
  else if (command == "clear-calls") rc = CmdClearCalls();
  else rc = Fail(kUsage, ("unknown command " + command).c_str());
  std::fflush(stdout);
  return rc;
}
