// Playback timing on the real Windows clock, as the desktop sees it: how late
// each replayed action comes compared with the time the script gives it, how
// much that lateness grows over a long pass, how much processor time the
// player burns, and how fast a stop ends a long delay.
//
//   playback_timing_win.exe [actions] [/rounds N] [/long MS] [/nosleep] [/exe PATH]
//        actions   delay+key pairs of the pass (default 2000)
//        /rounds   passes of every method, alternating their order (default 1)
//        /long     the long delay whose processor use is measured (default 5000 ms)
//        /nosleep  leave out the two Sleep(n) methods
//        /exe      the program to run (default: Tesmuro.exe beside this one)
//
// The script: a key press, then `actions` pairs of a delay of 1 to 20 ms and
// the key going up or down (F24, which nothing here reacts to). An
// independent low-level keyboard hook on a thread of its own time-stamps
// every F24 event on the performance counter (and swallows it).
//
// The headline row of every pass is the program itself, run as a user runs
// it: `Tesmuro.exe /play SCRIPT /loops 1 /exit` as a child process, from a
// copy of the program in a temporary folder with a settings file of the
// defaults beside it (removed at the end):
//   Tesmuro.exe     lateness at the hook of action i = (hook_i - hook_0) -
//                   (due_i - due_0), less the median of that over the first
//                   tenth of the pass: no injection time stamp exists for
//                   another process, so the zero is the typical arrival, which
//                   is net of the system's constant delivery time and not
//                   moved by the first event's own lag (under Wine the first
//                   event of a run reaches the hook some 10 ms late, as the
//                   long delay rows below show; the drift does not
//                   depend on it). Delivery and injection columns stay empty. Drift as below. CPU: the
//                   whole child process's user+kernel time (GetProcessTimes
//                   on its handle, window and all, not the player thread
//                   alone) between its first and its last scheduled event,
//                   over the wall time between them. The child must exit
//                   with 0 and every F24 event (with the release of a key
//                   held at the end) must arrive, else the row says so.
// Before the rounds, the same row with a window line before every click: the
// pass's key events become left clicks on a window of this process (topmost,
// so nothing covers it), first as they are ("clicks"), then each after the
// window line that names it where it stands ("+window lines"), so that every
// click waits for its window, which is there, and for the point to be that
// window's. A low-level mouse hook stamps (and swallows)
// the clicks. Then the cost of one such look in this process (WindowAt and
// Describe on the system's desktop, median of many) and of a look at every
// window (Windows()).
// The other rows assemble the player in this process, to compare clock
// designs, which only an in-process run can; it injects for real through the
// system's input sink. Methods, on the same script:
//   timer (before)  TRunThread with the clock as it was: waits on the waitable
//                   timer to the deadline itself
//   timer+spin      TRunThread with the system clock without its doze: sleeps
//                   on the timer to a learned margin before the deadline,
//                   spins the rest
//   player          TRunThread with the system clock: sleeps on the timer,
//                   dozes (where that proved precise) and spins the rest
//   Sleep(n)        the word loop with Sleep(n) after each delay word, at the
//                   system's default timer resolution
//   Sleep(n) @1ms   the same with timeBeginPeriod(1)
// Columns of a pass:
//   delivery        hook time stamp - the time stamp taken on the player's
//                   thread just before the system call, per action
//   at the hook     lateness of action i = its hook time stamp - (the start +
//                   the sum of the delays before action i + the median
//                   delivery): what the desktop sees, less the time the
//                   system always takes to deliver an event, but with its
//                   jitter. The start is the first action's call (a single
//                   hook time stamp would shift every figure by its own
//                   jitter)
//   at injection    lateness of action i = its call - (the start + the sum of
//                   the delays before it); slightly below 0 when the player's
//                   schedule began a few microseconds before its first call
//   drift           at the hook: the lateness of the last action minus that of
//                   the first after a delay, and (more robust) the median
//                   lateness of the last tenth minus that of the first tenth
//   player CPU      the player thread's (GetThreadTimes) and the process's
//                   (GetProcessTimes) user+kernel time between the first and
//                   the last action, over the wall time between them; under
//                   Wine these times come in steps of 10 ms (0.2 % of 5 s)
//   margins, spun   the system clock: the margins learned by the end (sleep,
//                   doze; "off" while dozing is not used), and the time the
//                   clock spent spinning (its own count, exact)
// Two more runs per clock show its processor use, with the same columns: one
// long delay (/long), and 3000 delays of 1 ms in a row (which a clock that
// spins would spin through if its spin budget did not stop it). Then the time
// from a stop request during a 60 s delay to the end of the run.
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_win.h"
#include "app/services_win.h"
#include "play/input_sink.h"
#include "play/play_clock_win.h"
#include "play/replay.h"
#include "play/run_thread.h"
#include "play/shutdown.h"
#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"
#include "setup/settings.h"

using namespace tesmuro;

namespace {

constexpr uint8_t kKey = VK_F24;

int64_t ThreadCpuMicros() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  return bench::Micros(kernel) + bench::Micros(user);
}

using bench::KeyHookStamps;
using bench::ProcessCpuMicros;
using bench::ProgramFolder;

// The clock as it was before the spin: the timer is set for the deadline
// itself and the wait ends when it fires.
class TimerOnlyClock final : public play::IPlayClock {
 public:
  TimerOnlyClock() {
    wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0x00000002 /* high resolution */, TIMER_ALL_ACCESS);
    if (!timer_) {
      timer_ = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
      raised_ = timeBeginPeriod(1) == TIMERR_NOERROR;
    }
  }
  ~TimerOnlyClock() override {
    if (raised_) timeEndPeriod(1);
    CloseHandle(timer_);
    CloseHandle(wake_);
  }
  int64_t NowMicros() override { return bench::Micros(); }
  bool WaitUntil(int64_t deadline) override {
    for (;;) {
      const int64_t now = NowMicros();
      if (now >= deadline) return true;
      const int64_t step = std::min<int64_t>(deadline - now, int64_t{1000000} * 3600);
      LARGE_INTEGER due;
      due.QuadPart = -step * 10;
      DWORD r;
      if (timer_ && SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE)) {
        const HANDLE handles[2] = {wake_, timer_};
        r = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0) CancelWaitableTimer(timer_);
      } else {
        r = WaitForSingleObject(wake_, static_cast<DWORD>((step + 999) / 1000));
      }
      if (r == WAIT_OBJECT_0) return false;
      if (r == WAIT_FAILED) Sleep(1);
    }
  }
  void Wake() override { SetEvent(wake_); }

 private:
  HANDLE timer_ = nullptr;
  HANDLE wake_ = nullptr;
  bool raised_ = false;
};

// Injects through the program's sink and notes, per key event, the time just
// before the call; at the first and the last expected call also the player
// thread's and the process's processor time.
class StampingSink final : public play::IInputSink {
 public:
  StampingSink(size_t expected, play::IInputSink& real) : real_(real), expected_(expected) {
    stamps.reserve(expected + 2);
    first_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~StampingSink() override { CloseHandle(first_); }

  void Key(const play::KeyStroke& k) override {
    const int64_t now = bench::Micros();
    if (stamps.size() == 0 || stamps.size() + 1 == expected_) {
      cpu[stamps.size() == 0 ? 0 : 1] = {now, ThreadCpuMicros(), ProcessCpuMicros()};
    }
    stamps.push_back(now);
    real_.Key(k);
    SetEvent(first_);
  }
  void TypeCharacter(char32_t cp) override { real_.TypeCharacter(cp); }
  void EndTyping() override { real_.EndTyping(); }
  void MoveTo(int32_t x, int32_t y) override { real_.MoveTo(x, y); }
  void MoveBy(int32_t dx, int32_t dy) override { real_.MoveBy(dx, dy); }
  void Button(play::MouseButton b, bool down, std::optional<play::PointerPlace> at) override {
    real_.Button(b, down, at);
  }
  void Wheel(play::WheelAxis axis, int32_t turn, int32_t a, int32_t b, std::optional<play::PointerPlace> at) override {
    real_.Wheel(axis, turn, a, b, at);
  }
  void ControllerMove(uint16_t, uint16_t, play::ControllerDelivery) override {}
  void ControllerButtons(uint32_t, play::ControllerDelivery) override {}
  void AwaitFirst() { WaitForSingleObject(first_, INFINITE); }

  struct Times {
    int64_t wall = 0, thread = 0, process = 0;
  };
  // Processor use between the first and the last expected call, in percent
  // of one core; -1 when the run did not get that far.
  double ThreadPercent() const { return Percent(cpu[1].thread - cpu[0].thread); }
  double ProcessPercent() const { return Percent(cpu[1].process - cpu[0].process); }
  int64_t ThreadMicros() const { return cpu[1].thread - cpu[0].thread; }

  std::vector<int64_t> stamps;
  Times cpu[2];

 private:
  double Percent(int64_t used) const {
    const int64_t wall = cpu[1].wall - cpu[0].wall;
    return stamps.size() < expected_ || wall <= 0 ? -1.0 : 100.0 * used / wall;
  }
  play::IInputSink& real_;
  size_t expected_;
  HANDLE first_;
};

class NoShutdown final : public play::IShutdownRequester {
 public:
  bool OpenProcessToken(uint32_t, Token&) override { return false; }
  bool LookupPrivilegeValue(const char*, play::Luid&) override { return false; }
  bool AdjustTokenPrivileges(Token, const play::Luid&, uint32_t) override { return false; }
  uint32_t LastError() override { return 1; }
  bool ExitWindowsEx(uint32_t, uint32_t) override { return false; }
  void CloseToken(Token) override {}
};

struct Script {
  std::string text;
  std::vector<int64_t> dueMicros;  // per key event, from the first
  bool endsDown = false;           // the player adds the key's release
};

std::string KeyEvent(bool down) {
  return script::KeyLine(down ? script::KeyLineKind::Down : script::KeyLineKind::Up, kKey, 0,
                         down ? 0 : 2, 0, 0) +
         "\r\n";
}

// A key press at 0, then `actions` pairs of a delay of 1..20 ms and the key
// going up or down. An even count ends with the key down; the player lets go
// of it at the end, which makes one more event than the script has. `event`
// writes another event in the key's place, after `lead`.
Script MakeScript(int actions, const std::function<std::string(bool)>& event = KeyEvent,
                  const std::string& lead = {}) {
  Script s;
  uint32_t seed = 12345;
  int64_t due = 0;
  s.text = lead + event(true);
  s.dueMicros.push_back(0);
  for (int i = 0; i < actions; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int ms = 1 + static_cast<int>((seed >> 16) % 20);
    due += ms * 1000;
    s.text += script::DelayLine(ms) + "\r\n" + event(i % 2 == 1);
    s.dueMicros.push_back(due);
  }
  s.endsDown = actions % 2 == 0;
  return s;
}

Script LongDelayScript(int ms) {
  Script s;
  s.text = KeyEvent(true) + script::DelayLine(ms) + "\r\n" + KeyEvent(false);
  s.dueMicros = {0, int64_t{ms} * 1000};
  return s;
}

// A key press, `count` delays of 1 ms, the key going up: the worst case for
// a clock that spins, where only its budget keeps a core from being busy.
Script TinyDelaysScript(int count) {
  Script s;
  s.text = KeyEvent(true);
  for (int i = 0; i < count; ++i) s.text += script::DelayLine(1) + "\r\n";
  s.text += KeyEvent(false);
  s.dueMicros = {0, int64_t{count} * 1000};
  return s;
}

std::FILE* ScriptFile(const std::string& text) {
  std::FILE* f = std::tmpfile();
  if (!f) {
    std::fprintf(stderr, "tmpfile failed\n");
    std::exit(1);
  }
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  return f;
}

double Ms(int64_t us) { return us / 1000.0; }

enum class Method { TimerOnly, TimerSpin, Player, Sleep, Sleep1ms };

const char* Name(Method m) {
  switch (m) {
    case Method::TimerOnly: return "timer (before)";
    case Method::TimerSpin: return "timer+spin";
    case Method::Player: return "player";
    case Method::Sleep: return "Sleep(n)";
    case Method::Sleep1ms: return "Sleep(n) @1ms";
  }
  return "?";
}

std::unique_ptr<play::IPlayClock> MakeClock(Method m) {
  if (m == Method::TimerOnly) return std::make_unique<TimerOnlyClock>();
  if (m == Method::TimerSpin) {
    return std::make_unique<play::WinPlayClock>(play::WaitMargin::Settings{}, play::WaitPlanner::DefaultDoze(), false);
  }
  return std::make_unique<play::WinPlayClock>();
}

struct Run {
  std::vector<int64_t> injected;
  std::vector<int64_t> hooked;
  double threadCpu = -1, processCpu = -1;
  int64_t threadCpuMicros = 0;
  bool systemClock = false;  // the rest is the system clock's
  int64_t sleepMargin = 0, dozeMargin = 0;
  bool dozing = false;
  int64_t spunMicros = 0;
};

// Plays `s` with `m`; the hook's stamps of this run are taken afterwards.
Run Play(Method m, const Script& s, KeyHookStamps& hook, play::IInputSink& input) {
  Run run;
  hook.Take(0);  // nothing left over from before
  StampingSink sink(s.dueMicros.size(), input);
  if (m == Method::TimerOnly || m == Method::TimerSpin || m == Method::Player) {
    NoShutdown shutdown;
    std::unique_ptr<play::IPlayClock> clock = MakeClock(m);
    auto* system = dynamic_cast<play::WinPlayClock*>(clock.get());
    play::TRunThread t(sink, shutdown, std::move(clock));
    t.Start(ScriptFile(s.text), play::RunOptions{});
    t.WaitFor();
    if (system) {  // the run is over: safe to read
      run.systemClock = true;
      run.sleepMargin = system->Planner().SleepMargin().Micros();
      run.dozeMargin = system->Planner().DozeMargin().Micros();
      run.dozing = system->Planner().DozeUsable();
      run.spunMicros = system->SpunMicros();
    }
  } else {
    if (m == Method::Sleep1ms) timeBeginPeriod(1);
    std::FILE* f = ScriptFile(s.text);
    {
      play::ActionReplayer replayer(sink);
      script::FileByteStream in(f);
      script::Word w;
      while (script::ReadWord(in, w)) {
        const script::Action a = script::ParseAction(w.View(), in);
        if (a.kind == script::ActionKind::Delay) Sleep(static_cast<DWORD>(a.delay_ms));
        else replayer.Replay(a);
      }
      replayer.ReleaseHeld();
    }
    std::fclose(f);
    if (m == Method::Sleep1ms) timeEndPeriod(1);
  }
  run.injected = sink.stamps;
  run.hooked = hook.Take(sink.stamps.size());
  run.threadCpu = sink.ThreadPercent();
  run.processCpu = sink.ProcessPercent();
  run.threadCpuMicros = sink.ThreadMicros();
  return run;
}

constexpr char kProgramName[] = "Tesmuro.exe";

struct ProgramRun {
  bool started = false;
  bool timedOut = false;
  DWORD error = 0;  // of a start that failed
  DWORD exitCode = 0;
  size_t expected = 0;  // F24 events the run makes
  std::vector<int64_t> hooked;
  double processCpu = -1;  // the whole child, percent of one core
};

// Runs `Tesmuro.exe /play SCRIPT /loops 1 /exit` on `s` from `folder` and
// takes the hook's stamps of it.
ProgramRun PlayProgram(const ProgramFolder& folder, const Script& s, KeyHookStamps& hook) {
  ProgramRun run;
  const size_t n = s.dueMicros.size();
  run.expected = n + (s.endsDown ? 1 : 0);
  const std::wstring script = folder.Dir() + L"\\timing.crec";
  if (!ProgramFolder::Write(script, s.text)) {
    run.error = ERROR_WRITE_FAULT;
    return run;
  }
  PROCESS_INFORMATION pi;
  hook.Take(0);  // nothing left over from before
  if (!folder.Start(L"/play \"" + script + L"\" /loops 1 /exit", pi, run.error)) return run;
  run.started = true;
  hook.Watch(pi.hProcess, n - 1);
  ResumeThread(pi.hThread);
  // The pass, plus the program's start and end with room to spare.
  const DWORD limit = static_cast<DWORD>(s.dueMicros.back() / 1000 + 60000);
  if (WaitForSingleObject(pi.hProcess, limit) == WAIT_TIMEOUT) {
    run.timedOut = true;
    TerminateProcess(pi.hProcess, 1);
    WaitForSingleObject(pi.hProcess, 5000);
  }
  GetExitCodeProcess(pi.hProcess, &run.exitCode);
  run.hooked = hook.Take(run.expected);
  const auto [first, last] = hook.Unwatch();
  if (first.taken && last.taken && last.wall > first.wall) {
    run.processCpu = 100.0 * (last.cpu - first.cpu) / (last.wall - first.wall);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  DeleteFileW(script.c_str());
  return run;
}

struct Spread {
  int64_t median = 0, p99 = 0, max = 0;
};

Spread Stats(std::vector<int64_t> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return {v[n / 2], v[std::min(n - 1, (n * 99 + 99) / 100 - 1)], v.back()};
}

int64_t Median(std::vector<int64_t> v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// Lateness of actions 1..n-1 against the schedule that starts at `origin`.
std::vector<int64_t> Lateness(const Script& s, const std::vector<int64_t>& stamps, int64_t origin) {
  std::vector<int64_t> late;
  for (size_t i = 1; i < s.dueMicros.size(); ++i) late.push_back(stamps[i] - origin - s.dueMicros[i]);
  return late;
}

void PassHeader() {
  std::printf("%-15s %-23s | %-15s | %-23s | %-17s | %-13s\n", "", "lateness at the hook ms", "delivery ms",
              "at injection ms", "drift ms", "player CPU");
  std::printf("%-15s %7s %7s %7s | %7s %7s | %7s %7s %7s | %8s %8s | %6s %6s\n", "method", "median", "p99", "max",
              "median", "p99", "median", "p99", "max", "last", "tail", "thread", "proc");
}

void ReportPass(Method m, const Script& s, const Run& r) {
  const size_t n = s.dueMicros.size();
  if (r.injected.size() < n || r.hooked.size() < n) {
    std::printf("%-15s incomplete: %zu injected, %zu seen by the hook, of %zu\n", Name(m), r.injected.size(),
                r.hooked.size(), n);
    return;
  }
  std::vector<int64_t> delivery;
  for (size_t i = 0; i < n; ++i) delivery.push_back(r.hooked[i] - r.injected[i]);
  const Spread d = Stats(delivery);
  const std::vector<int64_t> hook = Lateness(s, r.hooked, r.injected[0] + d.median);
  const std::vector<int64_t> inj = Lateness(s, r.injected, r.injected[0]);
  const Spread h = Stats(hook), i = Stats(inj);
  const size_t tenth = std::max<size_t>(1, hook.size() / 10);
  const int64_t head = Median({hook.begin(), hook.begin() + tenth});
  const int64_t tail = Median({hook.end() - tenth, hook.end()});
  std::printf("%-15s %7.3f %7.3f %7.3f | %7.3f %7.3f | %7.3f %7.3f %7.3f | %8.3f %8.3f | %5.1f%% %5.1f%%", Name(m),
              Ms(h.median), Ms(h.p99), Ms(h.max), Ms(d.median), Ms(d.p99), Ms(i.median), Ms(i.p99), Ms(i.max),
              Ms(hook.back() - hook.front()), Ms(tail - head), r.threadCpu, r.processCpu);
  if (r.systemClock) {
    std::printf(" | margins %.3f ", Ms(r.sleepMargin));
    if (r.dozing) std::printf("%.3f", Ms(r.dozeMargin));
    else std::printf("off");
    std::printf(" ms, spun %.1f ms", Ms(r.spunMicros));
  }
  std::printf("\n");
  std::fflush(stdout);
}

// The headline row: the real program, seen only by the hook.
void ReportProgram(const Script& s, const ProgramRun& r, const char* label = kProgramName) {
  const size_t n = s.dueMicros.size();
  if (!r.started) {
    std::printf("%-15s could not be started (error %lu)\n", label, r.error);
    std::fflush(stdout);
    return;
  }
  std::string trouble;
  if (r.timedOut) trouble += " | did not end in time, ended here";
  else if (r.exitCode != 0) trouble += " | exit code " + std::to_string(r.exitCode);
  if (r.hooked.size() != r.expected) {
    trouble += " | " + std::to_string(r.hooked.size()) + " of " + std::to_string(r.expected) + " F24 events arrived";
  }
  if (r.hooked.size() < n) {
    std::printf("%-15s incomplete%s\n", label, trouble.c_str());
    std::fflush(stdout);
    return;
  }
  std::vector<int64_t> hook;
  for (size_t i = 1; i < n; ++i) hook.push_back((r.hooked[i] - r.hooked[0]) - (s.dueMicros[i] - s.dueMicros[0]));
  // The first event's own lag would move every figure: the zero is the
  // typical arrival of the first tenth instead.
  const size_t tenth = std::max<size_t>(1, hook.size() / 10);
  const int64_t zero = Median({hook.begin(), hook.begin() + tenth});
  for (int64_t& h : hook) h -= zero;
  const Spread h = Stats(hook);
  const int64_t head = 0;
  const int64_t tail = Median({hook.end() - tenth, hook.end()});
  std::printf("%-15s %7.3f %7.3f %7.3f | %7s %7s | %7s %7s %7s | %8.3f %8.3f | %6s %5.1f%%", label,
              Ms(h.median), Ms(h.p99), Ms(h.max), "-", "-", "-", "-", "-", Ms(hook.back() - hook.front()),
              Ms(tail - head), "-", r.processCpu);
  std::printf(" | the real command, from its typical arrival; CPU of the whole child%s\n", trouble.c_str());
  std::fflush(stdout);
}

void ReportLongDelay(Method m, const Script& s, const Run& r) {
  if (r.injected.size() < 2 || r.hooked.size() < 2) {
    std::printf("%-15s incomplete: %zu injected, %zu seen by the hook\n", Name(m), r.injected.size(),
                r.hooked.size());
    return;
  }
  const int64_t late = r.hooked[1] - r.hooked[0] - s.dueMicros[1];
  const int64_t lateInjected = r.injected[1] - r.injected[0] - s.dueMicros[1];
  std::printf("%-15s player thread %6.2f%% (%.1f ms)  process %6.2f%%  | lateness at the hook %7.3f ms, "
              "at injection %7.3f ms", Name(m), r.threadCpu, Ms(r.threadCpuMicros), r.processCpu, Ms(late),
              Ms(lateInjected));
  if (r.systemClock) std::printf(" | spun %.3f ms", Ms(r.spunMicros));
  std::printf("\n");
  std::fflush(stdout);
}

void StopLatency(Method m, int runs, KeyHookStamps& hook, play::IInputSink& input) {
  const std::string text = KeyEvent(true) + script::DelayLine(60000) + "\r\n" + KeyEvent(false);
  std::vector<int64_t> lat;
  for (int i = 0; i < runs; ++i) {
    StampingSink sink(2, input);
    NoShutdown shutdown;
    play::TRunThread t(sink, shutdown, MakeClock(m));
    t.Start(ScriptFile(text), play::RunOptions{});
    sink.AwaitFirst();
    Sleep(20);  // well inside the 60 s delay
    const int64_t t0 = bench::Micros();
    t.RequestStop(true);
    t.WaitFor();
    lat.push_back(bench::Micros() - t0);
    // The key goes down, and up again when the run ends.
    if (sink.stamps.size() != 2) std::printf("stop run %d: %zu key events (expected 2)\n", i, sink.stamps.size());
    hook.Take(sink.stamps.size());
  }
  std::sort(lat.begin(), lat.end());
  std::printf("%-15s stop during a 60 s delay (%d stops, request to run finished): median %.3f ms  max %.3f ms\n",
              Name(m), runs, Ms(lat[lat.size() / 2]), Ms(lat.back()));
  std::fflush(stdout);
}

// A window of this process for the window lines to name: topmost, so that
// nothing covers it, on a thread of its own that answers its messages.
class TargetWindow {
 public:
  TargetWindow() {
    ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &TargetWindow::Main, this, 0, &threadId_);
    WaitForSingleObject(ready_, INFINITE);
  }
  ~TargetWindow() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(ready_);
  }
  TargetWindow(const TargetWindow&) = delete;
  TargetWindow& operator=(const TargetWindow&) = delete;
  uint64_t Id() const { return reinterpret_cast<uintptr_t>(hwnd_); }

 private:
  static DWORD WINAPI Main(void* p) {
    auto* self = static_cast<TargetWindow*>(p);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = L"TesmuroTimingTarget";
    RegisterClassW(&wc);
    self->hwnd_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName,
                                  L"Timing target", WS_POPUP | WS_VISIBLE, 40, 40, 300, 200, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for WM_QUIT
    SetEvent(self->ready_);
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
    DestroyWindow(self->hwnd_);
    return 0;
  }
  HANDLE ready_ = nullptr, thread_ = nullptr;
  DWORD threadId_ = 0;
  HWND hwnd_ = nullptr;
};

// The headline row with a window line before every click, and the cost of
// one look at the window as the player takes it before a click.
void WindowLineRows(const ProgramFolder& program, int actions, IDesktop& desktop) {
  TargetWindow target;
  const std::optional<TopWindow> w = desktop.Describe(target.Id());
  if (!w) {
    std::printf("window lines: the target window could not be made\n");
    return;
  }
  const int32_t x = w->rect.left + w->rect.width / 2, y = w->rect.top + w->rect.height / 2;
  const std::string line = script::WindowLine(desktop.System(), w->process, w->className, w->title, w->rect.left,
                                              w->rect.top, w->rect.width, w->rect.height) +
                           "\r\n";
  auto clicks = [&](const std::string& before) {
    return MakeScript(
        actions,
        [&](bool down) {
          return before +
                 script::MouseButtonLine(down ? script::ButtonLine::LeftDown : script::ButtonLine::LeftUp) + "\r\n";
        },
        script::MoveLine(x, y) + "\r\n");
  };
  const Script plain = clicks({}), s = clicks(line);
  std::printf("\nwindow lines: %d clicks on %s (\"%s\" at %d,%d %dx%d), a window line before each\n", actions,
              w->process.c_str(), w->className.c_str(), w->rect.left, w->rect.top, w->rect.width, w->rect.height);
  PassHeader();
  {
    KeyHookStamps stamps(0, s.dueMicros.size() + 2, WH_MOUSE_LL);
    if (!stamps.Installed()) {
      std::printf("the low-level mouse hook could not be installed\n");
      return;
    }
    ReportProgram(plain, PlayProgram(program, plain, stamps), "clicks");
    ReportProgram(s, PlayProgram(program, s, stamps), "+window lines");
  }

  std::vector<int64_t> look, all;
  size_t count = 0;
  for (int i = 0; i < 2000; ++i) {
    const int64_t t0 = bench::Micros();
    const auto under = desktop.WindowAt(x, y);
    const auto now = desktop.Describe(target.Id());
    look.push_back(bench::Micros() - t0);
    if (!under || !now || under->id != now->id) {
      std::printf("window check: the point is not the window's\n");
      return;
    }
  }
  for (int i = 0; i < 200; ++i) {
    const int64_t t0 = bench::Micros();
    count = desktop.Windows().size();
    all.push_back(bench::Micros() - t0);
  }
  const Spread one = Stats(look), every = Stats(all);
  std::printf("one window check (WindowAt + Describe, 2000 looks): median %.3f ms, p99 %.3f ms | every window "
              "(Windows(), %zu windows, 200 looks): median %.3f ms, p99 %.3f ms\n",
              Ms(one.median), Ms(one.p99), count, Ms(every.median), Ms(every.p99));
  std::fflush(stdout);
}

}  // namespace

int main() {
  int actions = 2000, rounds = 1, longMs = 5000;
  bool withSleep = true;
  std::wstring exe;
  {
    // Wide arguments, so that a path in any script reaches CreateProcessW.
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return 2;
    for (int i = 1; i < argc; ++i) {
      const wchar_t* a = argv[i];
      const bool option = a[0] == L'/' || a[0] == L'-';
      if (option && i + 1 < argc && !_wcsicmp(a + 1, L"rounds")) rounds = _wtoi(argv[++i]);
      else if (option && i + 1 < argc && !_wcsicmp(a + 1, L"long")) longMs = _wtoi(argv[++i]);
      else if (option && i + 1 < argc && !_wcsicmp(a + 1, L"exe")) exe = argv[++i];
      else if (option && !_wcsicmp(a + 1, L"nosleep")) withSleep = false;
      else if (_wtoi(a) > 0) actions = _wtoi(a);
      else {
        std::fprintf(stderr,
                     "usage: playback_timing_win [actions] [/rounds N] [/long MS] [/nosleep] [/exe PATH]\n");
        LocalFree(argv);
        return 2;
      }
    }
    LocalFree(argv);
  }
  rounds = std::clamp(rounds, 1, 100);
  longMs = std::clamp(longMs, 100, 600000);
  if (exe.empty()) exe = bench::ProgramBesideThis();
  if (GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::fprintf(stderr, "%ls not found (name the program with /exe PATH)\n", exe.c_str());
    return 1;
  }
  TSettings settings = ConstructionSettings();  // the defaults
  settings.LoopByCount = true;                   // /loops 1 says so for the run anyway
  settings.LoopCount = 1;
  const ProgramFolder program(exe, L"tesmuro-timing", settings);
  if (!program.Ok()) {
    std::fprintf(stderr, "%s (%ls)\n", program.Error(), program.Dir().c_str());
    return 1;
  }

  // The program's services, as its main builds them.
  const win::SystemServices services = win::RealSystemServices();
  WindowLineRows(program, actions, *services.desktop);

  KeyHookStamps hook(kKey);
  if (!hook.Installed()) {
    std::printf("the low-level keyboard hook could not be installed\n");
    return 1;
  }
  const Script s = MakeScript(actions);
  {
    play::WinPlayClock probe;
    const play::WaitMargin::Settings& l = probe.Planner().SleepMargin().Limits();
    const play::WaitMargin::Settings& d = probe.Planner().DozeMargin().Limits();
    std::printf("script: %d delay+key pairs, %.3f s of delays\nsystem clock: %s; margins p%d + %.3f ms in "
                "%.3f..%.3f ms (sleep), p%d + %.3f ms in %.3f..%.3f ms (doze)\n",
                actions, s.dueMicros.back() / 1e6,
                probe.HighResolutionTimer() ? "high-resolution waitable timer" : "waitable timer, timeBeginPeriod(1)",
                l.percentile, Ms(l.paddingMicros), Ms(l.floorMicros), Ms(l.ceilingMicros), d.percentile,
                Ms(d.paddingMicros), Ms(d.floorMicros), Ms(d.ceilingMicros));
    std::printf("program: %ls, run as %s /play SCRIPT /loops 1 /exit from a copy in %ls\n", exe.c_str(),
                kProgramName, program.Dir().c_str());
  }
  std::vector<Method> passMethods = {Method::TimerOnly, Method::TimerSpin, Method::Player};
  if (withSleep) passMethods.insert(passMethods.begin(), {Method::Sleep, Method::Sleep1ms});
  const std::vector<Method> clocks = {Method::TimerOnly, Method::TimerSpin, Method::Player};

  for (int round = 0; round < rounds; ++round) {
    // Every other round the other way round, so that a change of the machine's
    // load does not always favour the same method.
    std::vector<Method> order = passMethods;
    std::vector<Method> clockOrder = clocks;
    if (round % 2) {
      std::reverse(order.begin(), order.end());
      std::reverse(clockOrder.begin(), clockOrder.end());
    }
    std::printf("\nround %d: pass of %d actions\n", round + 1, actions);
    PassHeader();
    std::fflush(stdout);
    ReportProgram(s, PlayProgram(program, s, hook));
    std::printf("in this process (clock designs, not the command a user runs):\n");
    std::fflush(stdout);
    for (Method m : order) ReportPass(m, s, Play(m, s, hook, *services.player.input));

    std::printf("round %d: one delay of %d ms, processor use during it\n", round + 1, longMs);
    const Script longScript = LongDelayScript(longMs);
    for (Method m : clockOrder) ReportLongDelay(m, longScript, Play(m, longScript, hook, *services.player.input));
    std::printf("round %d: 3000 delays of 1 ms in a row, processor use during them\n", round + 1);
    const Script tiny = TinyDelaysScript(3000);
    for (Method m : clockOrder) ReportLongDelay(m, tiny, Play(m, tiny, hook, *services.player.input));
    for (Method m : clockOrder) StopLatency(m, 20, hook, *services.player.input);
  }
  return 0;
}
