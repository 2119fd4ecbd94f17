#include "linux/console.h"

#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdio>

#include "os/monotonic_posix.h"

namespace tesmuro::linux_console {

namespace {
constexpr int64_t kStateIntervalMicros = 200000;
int g_signalFd = -1;

void OnSignal(int) {
  const uint64_t one = 1;
  (void)!::write(g_signalFd, &one, sizeof one);
}
}  // namespace

Console::Console() : tty_(::isatty(STDERR_FILENO) == 1) {}

void Console::Say(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLocked();
  std::fprintf(stderr, "tesmuro: %s\n", text.c_str());
}

bool Console::StateDue() {
  if (!tty_) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  return os::MonotonicMicros() - stateAt_ >= kStateIntervalMicros;
}

void Console::State(const std::string& text) {
  if (!tty_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  stateAt_ = os::MonotonicMicros();
  if (shown_ && text == state_) return;
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  state_ = text;
  shown_ = true;
}

void Console::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLocked();
}

void Console::ClearLocked() {
  if (shown_) std::fputs("\r\033[K", stderr);
  shown_ = false;
}

Console& Out() {
  static Console console;
  return console;
}

bool InstallSignals() {
  g_signalFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (g_signalFd < 0) return false;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  return true;
}

int SignalFd() { return g_signalFd; }

bool TakeSignals() {
  uint64_t n;
  bool any = false;
  while (::read(g_signalFd, &n, sizeof n) > 0) any = true;
  return any;
}

}  // namespace tesmuro::linux_console
