// Small helpers the Windows benchmarks share.
#pragma once

#include <windows.h>

#include <cstdint>

namespace tesmuro::bench {

// The performance counter in microseconds.
inline int64_t Micros() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return c.QuadPart * 1000000 / f.QuadPart;
}

// Handles every message waiting in this thread's queue.
inline void Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

}  // namespace tesmuro::bench
