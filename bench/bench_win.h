// Small helpers the Windows benchmarks share.
#pragma once

#include <windows.h>

#include <cstdint>

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

}  // namespace tesmuro::bench
