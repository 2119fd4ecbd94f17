// The random part of a run's schedule: the length of each random delay
// (随机延迟 MIN,MAX) and the share by which every delay varies.
//
// A seed fixes every draw of a run, so that a run can be repeated exactly, on
// either system: the generator (xoshiro256**, its state filled by splitmix64)
// and the whole-number draws (by rejection, without bias) are written here
// rather than taken from the standard library, whose distributions differ
// from one library to the next.
#pragma once

#include <cstdint>

#include "play/run_options.h"

namespace tesmuro::play {

class RandomSource {
 public:
  explicit RandomSource(uint64_t seed);
  // The next 64 random bits.
  uint64_t Next();
  // Evenly from 0 to bound - 1; a bound of 0 stands for 2^64.
  uint64_t Below(uint64_t bound);
  // Evenly from low to high, both included (low <= high).
  int64_t Between(int64_t low, int64_t high);

 private:
  uint64_t s_[4];
};

// A seed from the system's entropy source, for a run that was given none.
uint64_t FreshSeed();

// The draws of one run, in the order it plays its delays: for a random delay
// its length, then, with a share, the variation of each delay that pauses.
class DelayDraws {
 public:
  // `sharePercent` is kept within 0..kMaxDelaySharePercent.
  DelayDraws(uint64_t seed, int32_t sharePercent);
  // A random delay's length in milliseconds, evenly from low to high
  // (0 <= low <= high).
  int32_t Length(int32_t low, int32_t high);
  // A delay of `ms` (> 0) in microseconds: ms * 1000 moved evenly by up to the
  // share of it either way, to the microsecond. Without a share: no draw.
  int64_t Varied(int32_t ms);
  // Something was drawn so far.
  bool Drew() const { return drew_; }

 private:
  RandomSource source_;
  int32_t share_;
  bool drew_ = false;
};

}  // namespace tesmuro::play
