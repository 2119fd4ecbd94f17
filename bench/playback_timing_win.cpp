// Playback timing on the real Windows clock: how late each action comes
// compared with the time the script gives it, and how fast a stop ends a long
// delay. Nothing is injected: the sink only takes a time stamp per action.
//
//   playback_timing_win.exe [actions]      (default 2000)
//
// Methods compared on the same generated script (delays of 1 to 20 ms, each
// followed by a cursor move):
//   player          TRunThread with the system clock (schedule on the
//                   performance counter, waitable-timer waits)
//   Sleep(n)        the word loop with Sleep(n) after each delay word, at the
//                   system's default timer resolution
//   Sleep(n) @1ms   the same with timeBeginPeriod(1)
// Lateness of an action = its time stamp - (time stamp of the first action +
// the sum of the delays before it). Drift = lateness of the last action.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "play/input_sink.h"
#include "play/play_clock_win.h"
#include "play/run_thread.h"
#include "play/shutdown.h"
#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"

using namespace tesmuro;

namespace {

int64_t NowMicros() {
  static const int64_t freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart / freq * 1000000 + c.QuadPart % freq * 1000000 / freq;
}

// Time-stamps every cursor move; signals an event at the first one.
class StampSink final : public play::IInputSink {
 public:
  explicit StampSink(size_t expected) : first_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    stamps.reserve(expected);
  }
  ~StampSink() override { CloseHandle(first_); }
  void SetCursorPos(int32_t, int32_t) override {
    stamps.push_back(NowMicros());
    SetEvent(first_);
  }
  void MouseEvent(uint32_t, int32_t, int32_t, int32_t, uintptr_t) override {}
  void KeybdEvent(uint8_t, uint8_t, uint32_t, uintptr_t) override {}
  void PostBroadcast(uint32_t, uintptr_t, intptr_t) override {}
  void SendHardwareInput(uint32_t, uint16_t, uint16_t) override {}
  void AwaitFirst() { WaitForSingleObject(first_, INFINITE); }

  std::vector<int64_t> stamps;

 private:
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
  std::vector<int64_t> dueMicros;  // per move, from the first move
};

// A move at 0, then `actions` pairs of a delay of 1..20 ms and a move.
Script MakeScript(int actions) {
  Script s;
  uint32_t seed = 12345;
  int64_t due = 0;
  s.text = std::string(script::kKeywordMove) + " 0,0\r\n";
  s.dueMicros.push_back(0);
  for (int i = 0; i < actions; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int ms = 1 + static_cast<int>((seed >> 16) % 20);
    due += ms * 1000;
    s.text += script::DelayLine(ms) + "\r\n" + script::MoveLine(i % 1000, i / 1000) + "\r\n";
    s.dueMicros.push_back(due);
  }
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

void Report(const char* method, const Script& s, const std::vector<int64_t>& stamps) {
  if (stamps.size() != s.dueMicros.size()) {
    std::printf("%-16s incomplete: %zu of %zu actions\n", method, stamps.size(), s.dueMicros.size());
    return;
  }
  std::vector<int64_t> late;
  for (size_t i = 1; i < stamps.size(); ++i) late.push_back(stamps[i] - stamps[0] - s.dueMicros[i]);
  const int64_t drift = late.back();
  std::sort(late.begin(), late.end());
  const size_t n = late.size();
  std::printf("%-16s lateness median %8.3f ms  p99 %8.3f ms  max %8.3f ms  min %8.3f ms | drift at end %9.3f ms\n",
              method, Ms(late[n / 2]), Ms(late[std::min(n - 1, n * 99 / 100)]), Ms(late.back()), Ms(late.front()),
              Ms(drift));
}

// The plain method: Sleep(n) after each delay word.
std::vector<int64_t> PlayWithSleep(const Script& s) {
  std::FILE* f = ScriptFile(s.text);
  std::vector<int64_t> stamps;
  stamps.reserve(s.dueMicros.size());
  {
    script::FileByteStream in(f);
    script::Word w;
    while (script::ReadWord(in, w)) {
      const script::Action a = script::ParseAction(w.View(), in);
      if (a.kind == script::ActionKind::Delay) Sleep(static_cast<DWORD>(a.delay_ms));
      else if (a.kind == script::ActionKind::Move) stamps.push_back(NowMicros());
    }
  }
  std::fclose(f);
  return stamps;
}

std::vector<int64_t> PlayWithPlayer(const Script& s) {
  StampSink sink(s.dueMicros.size());
  NoShutdown shutdown;
  play::TRunThread t(sink, shutdown, play::CreateSystemPlayClock());
  t.ScriptFile = ScriptFile(s.text);
  t.Resume();
  t.WaitFor();
  return sink.stamps;
}

void StopLatency(int runs) {
  std::string text = std::string(script::kKeywordMove) + " 0,0\r\n" + script::DelayLine(60000) + "\r\n" +
                     script::MoveLine(1, 1) + "\r\n";
  std::vector<int64_t> lat;
  for (int i = 0; i < runs; ++i) {
    StampSink sink(4);
    NoShutdown shutdown;
    play::TRunThread t(sink, shutdown, play::CreateSystemPlayClock());
    t.ScriptFile = ScriptFile(text);
    t.Resume();
    sink.AwaitFirst();
    Sleep(20);  // well inside the 60 s delay
    const int64_t t0 = NowMicros();
    t.RequestStop(true);
    t.WaitFor();
    lat.push_back(NowMicros() - t0);
    if (sink.stamps.size() != 1) std::printf("stop run %d: %zu moves (expected 1)\n", i, sink.stamps.size());
  }
  std::sort(lat.begin(), lat.end());
  std::printf("stop during a 60 s delay (%d stops, request to run finished): median %.3f ms  max %.3f ms\n",
              runs, Ms(lat[lat.size() / 2]), Ms(lat.back()));
}

}  // namespace

int main(int argc, char** argv) {
  const int actions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
  const Script s = MakeScript(actions);
  std::printf("script: %d delay+move pairs, %.3f s of delays\n", actions, s.dueMicros.back() / 1e6);
  {
    play::WinPlayClock probe;
    std::printf("player clock: %s\n", probe.HighResolutionTimer()
                                          ? "high-resolution waitable timer"
                                          : "waitable timer with timeBeginPeriod(1)");
  }
  std::fflush(stdout);

  // The plain method first, before anything raises the timer resolution.
  Report("Sleep(n)", s, PlayWithSleep(s));
  std::fflush(stdout);
  timeBeginPeriod(1);
  Report("Sleep(n) @1ms", s, PlayWithSleep(s));
  timeEndPeriod(1);
  std::fflush(stdout);
  Report("player", s, PlayWithPlayer(s));
  std::fflush(stdout);
  StopLatency(20);
  return 0;
}
