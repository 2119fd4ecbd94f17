// Long runs: the real program plays one short script many times over, and the
// last passes are compared with the first, in time and in memory. A player
// that leaves something behind with every pass (a message queue that fills, a
// list that grows) shows as passes that get slower or a process that grows.
//
//   soak_playback_win.exe [/loops N] [/exe PATH]
//        /loops   passes of the run (default 100, at least 20)
//        /exe     the program to run (default: Tesmuro.exe beside this one)
//
// The script: 1,000 times a `移动` to a point of a spread over the screen, a
// tap of F13 (down, up) and a delay of 1 ms; 3,000 actions and 1 s of delays a
// pass. It runs as a user runs it, `Tesmuro.exe /play SCRIPT /loops N /exit`,
// as a child process from a copy of the program in a temporary folder with a
// settings file of the defaults beside it (removed at the end).
//
// A low-level keyboard hook on a thread of its own in this process time-stamps
// every F13 event (and keeps it from the desktop); 2,000 of them make a pass.
// The time of a pass runs from its first F13 event to its last. Every 100 ms
// the child's working set and private bytes are read (GetProcessMemoryInfo)
// and filed under the pass the hook has reached; a pass's figure is its last
// reading. (Wine gives no private bytes for another process: the column then
// says so, and the working set, the process's resident memory there, stands
// alone.) The table gives every ten passes' time (mean, median, least and
// most) and mean memory; the summary compares the last ten with the first ten.
// Goals: the last ten within 5 % of the first in time, and less than 1 MB more
// memory. The time is judged on the median, which a busy machine moves least:
// its stalls fall on single passes, a slowing player on every one. The child
// must exit with 0 and every F13 event must arrive, else the report says so.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_win.h"
#include "script/script_format.h"
#include "setup/settings.h"

using namespace tesmuro;

namespace {

constexpr uint8_t kKey = VK_F13;
constexpr int kMovesPerPass = 1000;
constexpr size_t kEventsPerPass = 2 * kMovesPerPass;  // a down and an up per tap
constexpr int kWindow = 10;                           // passes compared at each end
constexpr DWORD kSampleMs = 100;

std::string MakeScript() {
  std::string text;
  for (int i = 0; i < kMovesPerPass; ++i) {
    // A walk over most of a 1280x1024 screen that does not repeat within the pass.
    const int32_t x = 40 + (i * 37) % 1200;
    const int32_t y = 40 + (i * 53) % 940;
    text += script::MoveLine(x, y) + "\r\n";
    text += script::KeyLine(script::KeyLineKind::Down, kKey, 0, 0, 0, 0) + "\r\n";
    text += script::KeyLine(script::KeyLineKind::Up, kKey, 0, 2, 0, 0) + "\r\n";
    text += script::DelayLine(1) + "\r\n";
  }
  return text;
}

struct Memory {
  int64_t workingSet = 0, privateBytes = 0;
  bool taken = false;
};

Memory ReadMemory(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX c = {};
  c.cb = sizeof c;
  Memory m;
  if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&c), sizeof c)) {
    m.workingSet = static_cast<int64_t>(c.WorkingSetSize);
    m.privateBytes = static_cast<int64_t>(c.PrivateUsage);
    m.taken = true;
  }
  return m;
}

struct Soak {
  bool started = false, timedOut = false;
  DWORD error = 0, exitCode = 0;
  std::vector<int64_t> stamps;  // every F13 event
  std::vector<Memory> memory;   // per pass: its last reading
};

Soak Run(const bench::ProgramFolder& folder, const std::wstring& script, int loops, bench::KeyHookStamps& hook) {
  Soak run;
  run.memory.resize(static_cast<size_t>(loops));
  PROCESS_INFORMATION pi;
  hook.Take(0);  // nothing left over from before
  if (!folder.Start(L"/play \"" + script + L"\" /loops " + std::to_wstring(loops) + L" /exit", pi, run.error)) {
    return run;
  }
  run.started = true;
  ResumeThread(pi.hThread);
  // Generous: a pass takes 1 to 5 s under Wine.
  const int64_t deadline = bench::Micros() + (int64_t{loops} * 30 + 60) * 1000000;
  for (;;) {
    const DWORD r = WaitForSingleObject(pi.hProcess, kSampleMs);
    if (r != WAIT_TIMEOUT) break;
    const size_t pass = hook.Count() / kEventsPerPass;
    const Memory m = ReadMemory(pi.hProcess);
    if (pass < run.memory.size() && m.taken) run.memory[pass] = m;
    if (bench::Micros() > deadline) {
      run.timedOut = true;
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, 5000);
      break;
    }
  }
  GetExitCodeProcess(pi.hProcess, &run.exitCode);
  run.stamps = hook.Take(static_cast<size_t>(loops) * kEventsPerPass);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return run;
}

struct Figures {
  double ms = 0;  // mean time per pass
  double medianMs = 0, minMs = 0, maxMs = 0;
  double workingKb = 0, privateKb = 0;  // mean of the passes read
  int read = 0;                         // passes with a memory reading
};

// Passes [from, to) of a complete run.
Figures Summarize(const Soak& run, int from, int to) {
  Figures f;
  std::vector<double> times;
  double wsSum = 0, pvSum = 0;
  for (int p = from; p < to; ++p) {
    const size_t first = static_cast<size_t>(p) * kEventsPerPass;
    times.push_back((run.stamps[first + kEventsPerPass - 1] - run.stamps[first]) / 1000.0);
    f.ms += times.back();
    const Memory& m = run.memory[static_cast<size_t>(p)];
    if (m.taken) {
      wsSum += m.workingSet / 1024.0;
      pvSum += m.privateBytes / 1024.0;
      ++f.read;
    }
  }
  f.ms /= (to - from);
  std::sort(times.begin(), times.end());
  const size_t n = times.size();
  f.medianMs = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  f.minMs = times.front();
  f.maxMs = times.back();
  if (f.read) {
    f.workingKb = wsSum / f.read;
    f.privateKb = pvSum / f.read;
  }
  return f;
}

// Kilobytes, or "n/a" when the system gave none.
std::string Kb(double kb, bool given) {
  if (!given) return "n/a";
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", kb);
  return text;
}

void Row(const char* label, const Figures& f, bool privateGiven) {
  std::printf("%-10s %9.1f %9.1f %9.1f %9.1f | %12.0f %12s %5d\n", label, f.ms, f.medianMs, f.minMs, f.maxMs,
              f.workingKb,
              Kb(f.privateKb, privateGiven).c_str(), f.read);
}

}  // namespace

int main() {
  int loops = 100;
  std::wstring exe;
  {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    for (int i = 1; i < argc; ++i) {
      const wchar_t* a = argv[i];
      const bool option = a[0] == L'/' || a[0] == L'-';
      if (option && i + 1 < argc && !_wcsicmp(a + 1, L"loops")) loops = _wtoi(argv[++i]);
      else if (option && i + 1 < argc && !_wcsicmp(a + 1, L"exe")) exe = argv[++i];
      else {
        std::fprintf(stderr, "usage: soak_playback_win [/loops N] [/exe PATH]\n");
        LocalFree(argv);
        return 2;
      }
    }
    LocalFree(argv);
  }
  loops = std::clamp(loops, 2 * kWindow, 100000);
  if (exe.empty()) exe = bench::ProgramBesideThis();
  if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "%ls not found (name the program with /exe PATH)\n", exe.c_str());
    return 1;
  }
  const bench::ProgramFolder program(exe, L"tesmuro-soak", ConstructionSettings());
  if (!program.Ok()) {
    std::fprintf(stderr, "%s (%ls)\n", program.Error(), program.Dir().c_str());
    return 1;
  }
  const std::wstring script = program.Dir() + L"\\soak.crec";
  if (!bench::ProgramFolder::Write(script, MakeScript())) {
    std::fprintf(stderr, "cannot write the script\n");
    return 1;
  }
  bench::KeyHookStamps hook(kKey, static_cast<size_t>(loops) * kEventsPerPass + 16);
  if (!hook.Installed()) {
    std::printf("the low-level keyboard hook could not be installed\n");
    return 1;
  }
  std::printf("script: %d moves and F13 taps 1 ms apart (%d actions, %d ms of delays a pass)\n", kMovesPerPass,
              3 * kMovesPerPass, kMovesPerPass);
  std::printf("program: %ls, run as Tesmuro.exe /play SCRIPT /loops %d /exit from a copy in %ls\n", exe.c_str(),
              loops, program.Dir().c_str());
  std::fflush(stdout);

  const Soak run = Run(program, script, loops, hook);
  if (!run.started) {
    std::printf("the program could not be started (error %lu)\n", run.error);
    return 1;
  }
  std::string trouble;
  if (run.timedOut) trouble += " | did not end in time, ended here";
  else if (run.exitCode != 0) trouble += " | exit code " + std::to_string(run.exitCode);
  const size_t expected = static_cast<size_t>(loops) * kEventsPerPass;
  if (run.stamps.size() != expected) {
    trouble += " | " + std::to_string(run.stamps.size()) + " of " + std::to_string(expected) +
               " F13 events arrived";
  }
  if (run.stamps.size() < expected) {
    std::printf("incomplete%s\n", trouble.c_str());
    return 1;
  }

  std::printf("\n%-10s %9s %9s %9s %9s | %12s %12s %5s\n", "", "pass ms", "", "", "", "working set", "private", "");
  std::printf("%-10s %9s %9s %9s %9s | %12s %12s %5s\n", "passes", "mean", "median", "min", "max", "KB", "KB",
              "read");
  const bool privateGiven = std::any_of(run.memory.begin(), run.memory.end(),
                                       [](const Memory& m) { return m.privateBytes > 0; });
  const int step = std::max(kWindow, loops / 10 / kWindow * kWindow);
  for (int from = 0; from < loops; from += step) {
    const int to = std::min(loops, from + step);
    const std::string label = std::to_string(from + 1) + "-" + std::to_string(to);
    Row(label.c_str(), Summarize(run, from, to), privateGiven);
  }
  const Figures head = Summarize(run, 0, kWindow);
  const Figures tail = Summarize(run, loops - kWindow, loops);
  std::printf("\nfirst %d passes: %.1f ms a pass (median; mean %.1f), working set %.0f KB, private %s KB\n",
              kWindow, head.medianMs, head.ms, head.workingKb, Kb(head.privateKb, privateGiven).c_str());
  std::printf("last %d passes:  %.1f ms a pass (median; mean %.1f), working set %.0f KB, private %s KB\n",
              kWindow, tail.medianMs, tail.ms, tail.workingKb, Kb(tail.privateKb, privateGiven).c_str());
  const double slower = 100.0 * (tail.medianMs - head.medianMs) / head.medianMs;
  const double wsGrowth = tail.workingKb - head.workingKb;
  const double pvGrowth = privateGiven ? tail.privateKb - head.privateKb : 0;
  const std::string pvText = privateGiven ? (pvGrowth >= 0 ? "+" : "") + Kb(pvGrowth, true) : "n/a";
  std::printf("last against first: median time %+.1f %% (goal within 5 %%: %s), working set %+.0f KB, private %s KB "
              "(goal under 1024 KB: %s)\n",
              slower, std::abs(slower) <= 5.0 ? "met" : "missed", wsGrowth,
              pvText.c_str(),
              (wsGrowth < 1024 && pvGrowth < 1024) ? "met" : "missed");
  std::printf("whole run: %.1f s from the first F13 event to the last%s\n",
              (run.stamps.back() - run.stamps.front()) / 1e6, trouble.c_str());
  return 0;
}
