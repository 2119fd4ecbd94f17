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
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "setup/settings.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

extern char** environ;

namespace {

#ifndef TESMURO_BIN
#define TESMURO_BIN "tesmuro"
#endif

constexpr int kActions = 2000;
constexpr int kDelayMs = 5;
// F13: Windows virtual key 0x7C, scan code 0x64; evdev KEY_F13 (183) is X
// keycode 191.
constexpr int kVk = 0x7C, kScan = 0x64, kKeycode = 183 + 8;

int64_t Mono() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

struct Arrival {
  int type;    // XI_RawKeyPress or XI_RawKeyRelease
  int detail;  // keycode
  int64_t at;  // CLOCK_MONOTONIC, microseconds
};

// XInput 2 raw key events of the master devices, selected on the root
// window of a connection of its own; a thread waits on the connection's
// socket and stamps each event as soon as it is read.
class RawKeyListener {
 public:
  bool Start(std::string& error) {
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
      error = "no X display (run through tests/linux/run_xvfb.sh)";
      return false;
    }
    int event, err;
    if (!XQueryExtension(display_, "XInputExtension", &opcode_, &event, &err)) {
      error = "the X server has no XInput extension";
      return false;
    }
    int major = 2, minor = 2;
    if (XIQueryVersion(display_, &major, &minor) != Success) {
      error = "the X server has no XInput 2";
      return false;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof bits;
    mask.mask = bits;
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
    XSync(display_, False);
    events_.reserve(2 * kActions + 64);
    thread_ = std::thread([this] { Run(); });
    return true;
  }
  ~RawKeyListener() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (display_) XCloseDisplay(display_);
  }
  std::vector<Arrival> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.size();
  }

 private:
  void Run() {
    pollfd p{ConnectionNumber(display_), POLLIN, 0};
    while (!stop_) {
      while (XPending(display_)) {
        XEvent ev;
        XNextEvent(display_, &ev);
        const int64_t at = Mono();
        if (ev.xcookie.type == GenericEvent && ev.xcookie.extension == opcode_ &&
            XGetEventData(display_, &ev.xcookie)) {
          const auto* raw = static_cast<const XIRawEvent*>(ev.xcookie.data);
          {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back({raw->evtype, raw->detail, at});
          }
          XFreeEventData(display_, &ev.xcookie);
        }
      }
      poll(&p, 1, 20);  // wakes as soon as the server writes; the timeout only checks stop_
    }
  }
  Display* display_ = nullptr;
  int opcode_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Arrival> events_;
};

// GBK bytes of the script's words.
const char kKeyDown[] = "\xB0\xB4\xBC\xFC\xB0\xB4\xCF\xC2";  // 按键按下
const char kKeyUp[] = "\xB0\xB4\xBC\xFC\xB5\xAF\xC6\xF0";    // 按键弹起
const char kDelay[] = "\xD1\xD3\xB3\xD9";                    // 延迟

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

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
    for (int i = 0; i < kActions; ++i) {
      if (i > 0) f << kDelay << ' ' << kDelayMs << "\r\n";
      if (i % 2 == 0)
        f << kKeyDown << ' ' << kVk << ' ' << kScan << " 0 0 0\r\n";
      else
        f << kKeyUp << ' ' << kVk << ' ' << kScan << " 128 0 0\r\n";
    }
    if (!f) {
      std::fprintf(stderr, "error: cannot write %s\n", script.c_str());
      cleanup();
      return 2;
    }
  }

  RawKeyListener listener;
  std::string error;
  if (!listener.Start(error)) {
    std::fprintf(stderr, "error: %s\n", error.c_str());
    cleanup();
    return 2;
  }

  // The program, as a user runs it; its terminal output goes to a file.
  std::vector<std::string> args = {bin, "play", script, "--loops", "1", "--settings", settings};
  std::vector<char*> childArgv;
  for (auto& a : args) childArgv.push_back(a.data());
  childArgv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  pid_t pid = -1;
  const int64_t wall0 = Mono();
  const int spawned = posix_spawn(&pid, bin.c_str(), &fa, nullptr, childArgv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (spawned != 0) {
    std::fprintf(stderr, "error: cannot start %s\n", bin.c_str());
    cleanup();
    return 2;
  }
  int status = 0;
  rusage usage{};
  pid_t waited;
  do {
    waited = wait4(pid, &status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  const int64_t wall = Mono() - wall0;
  const std::string childOutput = ReadAll(out);
  if (waited != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    if (waited == pid && WIFSIGNALED(status))
      std::fprintf(stderr, "error: tesmuro play ended by signal %d\n", WTERMSIG(status));
    else
      std::fprintf(stderr, "error: tesmuro play exited with %d\n", waited == pid ? WEXITSTATUS(status) : -1);
    std::fprintf(stderr, "its output:\n%s\n", childOutput.c_str());
    cleanup();
    return 1;
  }
  cleanup();

  // The last events may still be on their way to the listener.
  for (int i = 0; i < 200; ++i) {
    size_t ours = 0;
    for (const Arrival& a : listener.Events()) ours += a.detail == kKeycode;
    if (ours >= static_cast<size_t>(kActions)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // anything doubled would show
  std::vector<int64_t> at;
  int others = 0;
  for (const Arrival& a : listener.Events()) {
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
