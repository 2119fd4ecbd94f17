#include "play/play_clock_win.h"

#include <windows.h>
#include <mmsystem.h>

#include <memory>

#include "os/winmm_win.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace tesmuro::play {

namespace {
// NtDelayExecution: ntdll is in every process, and the function has had this
// form since NT 3.1.
using DelayFunction = LONG(NTAPI*)(BOOLEAN alertable, PLARGE_INTEGER interval);

void* FindDelay() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll ? reinterpret_cast<void*>(::GetProcAddress(ntdll, "NtDelayExecution")) : nullptr;
}
}  // namespace

WinPlayClock::WinPlayClock(const WaitMargin::Settings& sleep, const WaitMargin::Settings& doze, bool mayDoze)
    : delay_(mayDoze ? FindDelay() : nullptr), planner_(delay_ != nullptr, sleep, doze) {
  LARGE_INTEGER f;
  ::QueryPerformanceFrequency(&f);  // never fails on XP and later
  frequency_ = f.QuadPart > 0 ? f.QuadPart : 1;

  wake_ = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
  // Windows 10 1803 and later: a timer with sub-millisecond precision that
  // does not need the system-wide timer resolution raised.
  timer_ = ::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS);
  high_resolution_ = timer_ != nullptr;
  if (!timer_) {
    timer_ = ::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    raised_period_ = win::winmm::TimeBeginPeriod(1) == TIMERR_NOERROR;
  }
}

WinPlayClock::~WinPlayClock() {
  if (raised_period_) win::winmm::TimeEndPeriod(1);
  if (timer_) ::CloseHandle(static_cast<HANDLE>(timer_));
  if (wake_) ::CloseHandle(static_cast<HANDLE>(wake_));
}

int64_t WinPlayClock::NowMicros() {
  LARGE_INTEGER c;
  ::QueryPerformanceCounter(&c);
  // Split so that the product cannot overflow however long the system runs.
  const int64_t whole = c.QuadPart / frequency_;
  const int64_t part = c.QuadPart % frequency_;
  return whole * 1000000 + part * 1000000 / frequency_;
}

bool WinPlayClock::WaitUntil(int64_t deadlineMicros) {
  return WaitWithPlan(
      planner_, woken_, deadlineMicros, spun_, [this] { return NowMicros(); },
      [this](int64_t now, int64_t until) { return TimerWait(now, until); },
      [this](int64_t now, int64_t until) {
        LARGE_INTEGER interval;
        interval.QuadPart = -(until - now) * 10;  // relative, in 100 ns units
        reinterpret_cast<DelayFunction>(delay_)(FALSE, &interval);
      },
      // The pause instruction spares a hyper-threaded sibling; giving the
      // core away (SwitchToThread) could lose it for a whole time slice on a
      // busy machine.
      [] { YieldProcessor(); });
}

bool WinPlayClock::SleepUntil(int64_t deadlineMicros) {
  for (;;) {
    const int64_t now = NowMicros();
    if (now >= deadlineMicros) return true;
    if (woken_.exchange(false, std::memory_order_acquire)) return false;
    const int64_t step = deadlineMicros - now;
    TimerWait(now, now + (step < WaitPlanner::kLongestSleepMicros ? step : WaitPlanner::kLongestSleepMicros));
  }
}

bool WinPlayClock::TimerWait(int64_t now, int64_t until) {
  const HANDLE wake = static_cast<HANDLE>(wake_);
  const HANDLE timer = static_cast<HANDLE>(timer_);
  DWORD r;
  LARGE_INTEGER due;
  due.QuadPart = -(until - now) * 10;  // relative, in 100 ns units
  if (timer && ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
    const HANDLE handles[2] = {wake, timer};  // the wake-up wins a tie
    r = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0) ::CancelWaitableTimer(timer);
  } else {
    // No timer: a millisecond wait on the event, rounded up.
    r = ::WaitForSingleObject(wake, static_cast<DWORD>((until - now + 999) / 1000));
  }
  // A ring of the event only says "look at the flag", which WaitUntil does;
  // it may be left over from a wake-up that a spin has already taken.
  if (r == WAIT_OBJECT_0) return false;
  if (r == WAIT_FAILED) {
    ::Sleep(1);  // never spin on a broken handle
    return false;
  }
  return true;
}

void WinPlayClock::Wake() {
  // The flag first: a waiter that sees the event finds it set.
  woken_.store(true, std::memory_order_release);
  ::SetEvent(static_cast<HANDLE>(wake_));
}

}  // namespace tesmuro::play
