#include "play/delay_draw.h"

#include <algorithm>
#include <chrono>
#include <random>

namespace tesmuro::play {

namespace {
uint64_t SplitMix64(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

uint64_t RotateLeft(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
}  // namespace

RandomSource::RandomSource(uint64_t seed) {
  // splitmix64 never gives four zeros in a row, the one state xoshiro cannot leave.
  for (uint64_t& word : s_) word = SplitMix64(seed);
}

uint64_t RandomSource::Next() {
  const uint64_t result = RotateLeft(s_[1] * 5, 7) * 9;
  const uint64_t t = s_[1] << 17;
  s_[2] ^= s_[0];
  s_[3] ^= s_[1];
  s_[1] ^= s_[2];
  s_[0] ^= s_[3];
  s_[2] ^= t;
  s_[3] = RotateLeft(s_[3], 45);
  return result;
}

uint64_t RandomSource::Below(uint64_t bound) {
  if (bound == 0) return Next();
  // 2^64 mod bound values at the bottom are what a plain remainder would
  // favour: drawing again past them leaves a whole number of rounds.
  const uint64_t skip = (0 - bound) % bound;
  for (;;) {
    const uint64_t x = Next();
    if (x >= skip) return x % bound;
  }
}

int64_t RandomSource::Between(int64_t low, int64_t high) {
  const uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low) + 1;  // 0: all of them
  return static_cast<int64_t>(static_cast<uint64_t>(low) + Below(span));
}

uint64_t FreshSeed() {
  uint64_t seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  try {
    std::random_device device;  // the system's entropy (rand_s or the processor's on Windows)
    seed ^= uint64_t{device()} << 32 | device();
  } catch (...) {
    // No entropy source: the clock alone still differs from run to run.
  }
  return seed;
}

DelayDraws::DelayDraws(uint64_t seed, int32_t sharePercent)
    : source_(seed), share_(std::clamp(sharePercent, 0, kMaxDelaySharePercent)) {}

int32_t DelayDraws::Length(int32_t low, int32_t high) {
  drew_ = true;
  return static_cast<int32_t>(source_.Between(low, high));
}

int64_t DelayDraws::Varied(int32_t ms) {
  const int64_t micros = int64_t{ms} * 1000;
  if (share_ == 0) return micros;
  drew_ = true;
  const int64_t spread = int64_t{ms} * share_ * 10;  // share_ percent of ms * 1000
  return micros + source_.Between(-spread, spread);
}

}  // namespace tesmuro::play
