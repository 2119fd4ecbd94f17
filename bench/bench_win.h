// Small helpers the Windows benchmarks share.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "setup/settings.h"
#include "ui/application_win.h"
#include "ui/win_util_win.h"
#include "util/file_io.h"

namespace tesmuro::bench {

// The performance counter in microseconds, divided in two steps so the
// product cannot overflow however long the system has been up (a counter of
// 10 MHz times a million would after about 10.7 days).
inline int64_t Micros() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  const int64_t freq = f.QuadPart > 0 ? f.QuadPart : 1;
  return c.QuadPart / freq * 1000000 + c.QuadPart % freq * 1000000 / freq;
}

// Handles every message waiting in this thread's queue.
inline void Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

// The program's own message loop (the application's RunUntil: dialog
// messages, the idle handler the window installs) with the time of every
// message and idle call it handles added up, through the application's
// timing hook: the user interface thread's busy time.
class TimedLoop {
 public:
  explicit TimedLoop(win::Application& app) : app_(app) {
    app_.SetTimingHook([this](int64_t us) {
      busy_ += us;
      longest_ = std::max(longest_, us);
      if (us > 2000) lastBusy_ = Micros();
    });
    // Wakes the loop's wait now and then, so that a time limit is seen when
    // nothing else comes.
    timer_ = SetTimer(nullptr, 0, 5, nullptr);
  }
  ~TimedLoop() {
    KillTimer(nullptr, timer_);
    app_.SetTimingHook(nullptr);
  }
  TimedLoop(const TimedLoop&) = delete;
  TimedLoop& operator=(const TimedLoop&) = delete;

  // Runs until `done` returns true (asked after every message).
  void RunUntil(const std::function<bool()>& done) { app_.RunUntil(done); }
  // Runs for `ms` milliseconds.
  void RunFor(int ms) {
    const int64_t end = Micros() + ms * 1000LL;
    app_.RunUntil([end] { return Micros() >= end; });
  }
  // Runs until nothing has taken more than 2 ms for a second (the window's
  // own timers take no time), at most ten minutes; returns when that quiet
  // began.
  int64_t RunUntilSettled() {
    const int64_t start = Micros();
    lastBusy_ = start;
    app_.RunUntil([&] {
      const int64_t now = Micros();
      return now - lastBusy_ >= 1000000 || now - start >= 600000000;
    });
    return lastBusy_;
  }

  int64_t Busy() const { return busy_; }
  int64_t Longest() const { return longest_; }
  void ResetLongest() { longest_ = 0; }

 private:
  win::Application& app_;
  UINT_PTR timer_ = 0;
  int64_t busy_ = 0;
  int64_t longest_ = 0;
  int64_t lastBusy_ = 0;
};

// The settings file beside the program for one run: `settings` written
// there, so the window starts with them and with no notice about a missing
// file; the file that was there before is put back at the end (none: removed).
class SettingsFile {
 public:
  explicit SettingsFile(const TSettings& settings) : path_(win::ExeDirectory() + kSettingsFileName) {
    std::string old;
    if (ReadWholeFile(path_, old)) before_ = std::move(old);
    WriteFileAtomically(path_, FormatSettings(settings));
  }
  ~SettingsFile() {
    if (before_)
      WriteFileAtomically(path_, *before_);
    else
      detail::RemoveFile(path_);
  }
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

 private:
  std::string path_;  // UTF-8
  std::optional<std::string> before_;
};

}  // namespace tesmuro::bench
