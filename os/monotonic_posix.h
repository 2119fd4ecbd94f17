// The monotonic clock of POSIX systems in microseconds: what the Linux
// program's player, recorder and input sink all time with.
#pragma once

#include <time.h>

#include <cstdint>

namespace tesmuro::os {

inline int64_t MonotonicMicros() {
  timespec t;
  ::clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

}  // namespace tesmuro::os
