#include "play/play_clock_linux.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "os/monotonic_posix.h"

namespace tesmuro::play {

namespace {
timespec ToTimespec(int64_t micros) {
  timespec t;
  t.tv_sec = static_cast<time_t>(micros / 1000000);
  t.tv_nsec = static_cast<long>(micros % 1000000) * 1000;
  return t;
}

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}
}  // namespace

LinuxPlayClock::LinuxPlayClock()
    : timer_(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      planner_(true, WaitMargin::Settings{}, WaitPlanner::DefaultDoze()) {}

LinuxPlayClock::~LinuxPlayClock() {
  if (timer_ >= 0) ::close(timer_);
  if (wake_ >= 0) ::close(wake_);
}

int64_t LinuxPlayClock::NowMicros() { return os::MonotonicMicros(); }

bool LinuxPlayClock::WaitUntil(int64_t deadlineMicros) {
  return WaitWithPlan(
      planner_, woken_, deadlineMicros, spun_, [this] { return NowMicros(); },
      [this](int64_t, int64_t until) { return TimerWait(until); },
      [](int64_t, int64_t until) {
        const timespec end = ToTimespec(until);
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &end, nullptr) == EINTR) {
        }
      },
      [] { CpuRelax(); });
}

bool LinuxPlayClock::SleepUntil(int64_t deadlineMicros) {
  for (;;) {
    const int64_t now = NowMicros();
    if (now >= deadlineMicros) return true;
    if (woken_.exchange(false, std::memory_order_acquire)) return false;
    TimerWait(deadlineMicros);
  }
}

bool LinuxPlayClock::TimerWait(int64_t until) {
  pollfd fds[2] = {{wake_, POLLIN, 0}, {timer_, POLLIN, 0}};
  itimerspec deadline{};
  deadline.it_value = ToTimespec(until > 0 ? until : 1);
  const bool armed = timer_ >= 0 && ::timerfd_settime(timer_, TFD_TIMER_ABSTIME, &deadline, nullptr) == 0;
  int r;
  if (armed) {
    r = ::poll(fds, 2, -1);
  } else {
    const int64_t left = until - NowMicros();
    r = ::poll(fds, 1, left > 0 ? static_cast<int>((left + 999) / 1000) : 0);
  }
  uint64_t drained;
  if (armed) {
    while (::read(timer_, &drained, sizeof drained) > 0) {
    }
  }
  if (r > 0 && (fds[0].revents & POLLIN)) {
    // Only says "look at the flag", which the caller does.
    while (::read(wake_, &drained, sizeof drained) > 0) {
    }
    return false;
  }
  if (r < 0 && errno != EINTR) {
    const timespec ms = ToTimespec(1000);
    ::nanosleep(&ms, nullptr);  // never spin on a broken descriptor
    return false;
  }
  return r > 0 || !armed;
}

void LinuxPlayClock::Wake() {
  woken_.store(true, std::memory_order_release);
  const uint64_t one = 1;
  if (wake_ >= 0) (void)!::write(wake_, &one, sizeof one);
}

}  // namespace tesmuro::play
