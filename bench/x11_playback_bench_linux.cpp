// Playback timing of the Linux program on an X server, the way a user runs
// it: `tesmuro play FILE --loops 1 --settings FILE` as a child process, on a
// script of 2,000 key presses and releases 5 ms apart (F13, which nothing on
// the display reacts to). The events are seen by a listener of the
// benchmark's own: XInput 2 raw key events on the root window, on its own
// connection and thread, each stamped with the monotonic clock on arrival.
//
//   tests/linux/run_xvfb.sh build/.../x11_playback_bench [path/to/tesmuro]
//
// Figures (printed, not asserted): the lateness of each action against the
// script's schedule, counted from the typical arrival of the first tenth so
// that the X server's constant delivery time drops out (median, p99, max); the drift
// (the median lateness of the last tenth against the first tenth, and the
// lateness of the last action); the child's processor time over the run's
// wall time. The exit code is non-zero only when the run itself failed: the
// program did not end with 0, or not every event arrived in order.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "os/monotonic_posix.h"
#include "script/script_format.h"
#include "setup/settings.h"
#include "util/file_io.h"

// Xlib last: its macros (None, Status, ...) would clash with the names above.
#include "tests/linux/child_process.h"
#include "tests/linux/xi_raw_listener.h"

namespace {

using tesmuro::os::MonotonicMicros;
using tesmuro::test::RawEvent;

#ifndef TESMURO_BIN
#define TESMURO_BIN "tesmuro"
#endif

constexpr int kActions = 2000;
constexpr int kDelayMs = 5;
// F13: Windows virtual key 0x7C, scan code 0x64; evdev KEY_F13 (183) is X
// keycode 191.
constexpr int kVk = 0x7C, kScan = 0x64, kKeycode = 183 + 8;

int64_t Percentile(const std::vector<int64_t>& sorted, double q) {
  size_t i = static_cast<size_t>(q * (sorted.size() - 1) + 0.5);
  return sorted[std::min(i, sorted.size() - 1)];
}

int64_t Median(std::vector<int64_t> v) {
  std::sort(v.begin(), v.end());
  return Percentile(v, 0.5);
}

}  // namespace

int main(int argc, char** argv) {
  std::string bin = argc > 1 ? argv[1] : TESMURO_BIN;
  if (access(bin.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "error: no tesmuro program at %s (pass its path as the argument)\n", bin.c_str());
    return 2;
  }

  char dirTemplate[] = "/tmp/tesmuro-bench-XXXXXX";
  if (!mkdtemp(dirTemplate)) {
    std::perror("mkdtemp");
    return 2;
  }
  const std::string dir = dirTemplate;
  const std::string script = dir + "/bench.crec", settings = dir + "/Quorlin.qlset", out = dir + "/out";
  auto cleanup = [&] {
    unlink(script.c_str());
    unlink(settings.c_str());
    unlink(out.c_str());
    rmdir(dir.c_str());
  };
  {
    std::ofstream(settings, std::ios::binary) << tesmuro::FormatSettings(tesmuro::ConstructionSettings());
    std::ofstream f(script, std::ios::binary);
    using tesmuro::script::KeyLineKind;
    for (int i = 0; i < kActions; ++i) {
      if (i > 0) f << tesmuro::script::DelayLine(kDelayMs) << "\r\n";
      if (i % 2 == 0)
        f << tesmuro::script::KeyLine(KeyLineKind::Down, kVk, kScan, 0, 0, 0) << "\r\n";
      else
        f << tesmuro::script::KeyLine(KeyLineKind::Up, kVk, kScan, 128, 0, 0) << "\r\n";
    }
    if (!f) {
      std::fprintf(stderr, "error: cannot write %s\n", script.c_str());
      cleanup();
      return 2;
    }
  }

  tesmuro::test::XiRawListener listener({XI_RawKeyPress, XI_RawKeyRelease}, 2 * kActions + 64);
  if (!listener.Error().empty()) {
    std::fprintf(stderr, "error: %s\n", listener.Error().c_str());
    cleanup();
    return 2;
  }

  // The program, as a user runs it; its terminal output goes to a file.
  const int64_t wall0 = MonotonicMicros();
  tesmuro::test::ChildProcess child({bin, "play", script, "--loops", "1", "--settings", settings}, out,
                                    /*stdoutToo=*/true);
  if (!child.Started()) {
    std::fprintf(stderr, "error: cannot start %s\n", bin.c_str());
    cleanup();
    return 2;
  }
  int status = 0;
  rusage usage{};
  const bool waited = child.WaitForEnd(status, usage);
  const int64_t wall = MonotonicMicros() - wall0;
  std::string childOutput;
  tesmuro::ReadWholeFile(out, childOutput);
  if (!waited || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    if (waited && WIFSIGNALED(status))
      std::fprintf(stderr, "error: tesmuro play ended by signal %d\n", WTERMSIG(status));
    else
      std::fprintf(stderr, "error: tesmuro play exited with %d\n", waited ? WEXITSTATUS(status) : -1);
    std::fprintf(stderr, "its output:\n%s\n", childOutput.c_str());
    cleanup();
    return 1;
  }
  cleanup();

  // The last events may still be on their way to the listener.
  for (int i = 0; i < 200; ++i) {
    size_t ours = 0;
    for (const RawEvent& a : listener.Events()) ours += a.detail == kKeycode;
    if (ours >= static_cast<size_t>(kActions)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // anything doubled would show
  std::vector<int64_t> at;
  int others = 0;
  for (const RawEvent& a : listener.Events()) {
    if (a.detail != kKeycode) {
      ++others;
      continue;
    }
    const int want = at.size() % 2 == 0 ? XI_RawKeyPress : XI_RawKeyRelease;
    if (a.type != want) {
      std::fprintf(stderr, "error: event %zu of keycode %d is a %s, a %s was due\n", at.size(), kKeycode,
                   a.type == XI_RawKeyPress ? "press" : "release", want == XI_RawKeyPress ? "press" : "release");
      return 1;
    }
    at.push_back(a.at);
  }
  if (at.size() != static_cast<size_t>(kActions)) {
    std::fprintf(stderr, "error: %zu of the %d played key events arrived\n", at.size(), kActions);
    std::fprintf(stderr, "tesmuro's output:\n%s\n", childOutput.c_str());
    return 1;
  }

  // Lateness of action i: (arrival_i - arrival_0) - (scheduled_i - scheduled_0),
  // less the median of that over the first tenth: the zero is the typical
  // arrival, not the first action's own (which may come late or early).
  std::vector<int64_t> late(kActions);
  for (int i = 0; i < kActions; ++i) late[i] = (at[i] - at[0]) - int64_t{i} * kDelayMs * 1000;
  const int tenth = kActions / 10;
  const int64_t zero = Median(std::vector<int64_t>(late.begin() + 1, late.begin() + tenth));
  for (int64_t& l : late) l -= zero;
  const std::vector<int64_t> first(late.begin() + 1, late.begin() + tenth);
  const std::vector<int64_t> last(late.end() - tenth, late.end());
  const int64_t drift = Median(last) - Median(first);
  int stalls = 0;
  for (int64_t l : late) stalls += l > 50000;
  std::vector<int64_t> sorted(late.begin() + 1, late.end());
  std::sort(sorted.begin(), sorted.end());
  const double cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + usage.ru_utime.tv_usec +
                     usage.ru_stime.tv_usec;

  std::printf("X11 playback by `tesmuro play --loops 1`: %d key events (F13, keycode %d) %d ms apart\n", kActions,
              kKeycode, kDelayMs);
  std::printf("  seen by an XInput 2 raw listener on its own connection, stamped on arrival (CLOCK_MONOTONIC)\n");
  std::printf("  lateness against the schedule from the typical arrival: median %.3f ms, p99 %.3f ms, max %.3f ms\n",
              Percentile(sorted, 0.5) / 1e3, Percentile(sorted, 0.99) / 1e3, sorted.back() / 1e3);
  std::printf("  drift: last tenth's median - first tenth's median %.3f ms; last action %.3f ms\n", drift / 1e3,
              late.back() / 1e3);
  if (stalls) std::printf("  actions more than 50 ms late (a stalled machine): %d\n", stalls);
  if (others) std::printf("  other key events seen meanwhile (not counted): %d\n", others);
  std::printf("  tesmuro CPU: %.2f %% of a core (%.3f s user+system over %.3f s wall, start-up and exit included)\n",
              100.0 * cpu / wall, cpu / 1e6, wall / 1e6);
  std::printf("  note: the CPU figure is the whole process's, so it is an upper bound of the CPU spent outside\n"
              "        the last stretch of each wait (the spin before each action is in it).\n");
  std::printf("  note: an arrival is stamped when the listener reads it, so the server's delivery and the\n"
              "        listener's wake-up are in every stamp: their constant part cancels out of the lateness,\n"
              "        their jitter stays in the lateness (the figures are upper bounds of the player's own).\n");
  return 0;
}
