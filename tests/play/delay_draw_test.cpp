// The random delays' draws: within their bounds, and the same for the same
// seed on every system (this program also runs as the 32-bit Windows build).
#include "play/delay_draw.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <vector>

namespace tesmuro::play {
namespace {

TEST(DelayDraw, TheSequenceOfASeedIsFixedOnEverySystem) {
  // xoshiro256** filled by splitmix64 (reference values from a separate
  // implementation): a script run with /seed on Windows and --seed on Linux
  // waits the same.
  RandomSource r(20240607);
  EXPECT_EQ(r.Next(), 0x63d0dd2b6dd41cc6u);
  EXPECT_EQ(r.Next(), 0xc9df3a3311d1e5f0u);
  EXPECT_EQ(r.Next(), 0x3fedb4c2d00e7bf2u);
  DelayDraws random(20240607, 0);
  std::vector<int32_t> lengths;
  for (int i = 0; i < 8; ++i) lengths.push_back(random.Length(100, 250));
  EXPECT_EQ(lengths, (std::vector<int32_t>{216, 232, 162, 199, 118, 126, 225, 104}));
  DelayDraws shared(42, 30);
  std::vector<int64_t> varied;
  for (int i = 0; i < 4; ++i) varied.push_back(shared.Varied(1000));
  EXPECT_EQ(varied, (std::vector<int64_t>{1081950, 707439, 901278, 1224295}));
}

TEST(DelayDraw, LengthsAndSharesStayWithinTheirBoundsAndReachBothEnds) {
  DelayDraws d(7, 0);
  std::set<int32_t> seen;
  for (int i = 0; i < 2000; ++i) {
    const int32_t v = d.Length(3, 6);
    ASSERT_GE(v, 3);
    ASSERT_LE(v, 6);
    seen.insert(v);
  }
  EXPECT_EQ(seen, (std::set<int32_t>{3, 4, 5, 6}));
  EXPECT_EQ(d.Length(0, 0), 0);
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  EXPECT_EQ(d.Length(kMax, kMax), kMax);
  for (int i = 0; i < 100; ++i) EXPECT_GE(d.Length(kMax - 1, kMax), kMax - 1);

  for (int32_t share : {1, 25, 50}) {
    DelayDraws v(11, share);
    int64_t low = std::numeric_limits<int64_t>::max(), high = 0;
    for (int i = 0; i < 4000; ++i) {
      const int64_t micros = v.Varied(200);  // 200 ms, by up to `share` percent
      low = std::min(low, micros), high = std::max(high, micros);
    }
    EXPECT_GE(low, 200000 - 2000 * share) << share;
    EXPECT_LE(high, 200000 + 2000 * share) << share;
    EXPECT_LT(low, 200000 - 1900 * share) << "the whole share is used, " << share;
    EXPECT_GT(high, 200000 + 1900 * share) << share;
  }
  // The longest delay at the largest share, and the shares beyond the limit.
  DelayDraws wide(3, 80);
  for (int i = 0; i < 100; ++i) {
    const int64_t micros = wide.Varied(kMax);
    EXPECT_GE(micros, int64_t{kMax} * 500);
    EXPECT_LE(micros, int64_t{kMax} * 1500);
  }
  DelayDraws none(3, -5);
  EXPECT_EQ(none.Varied(1234), 1234000);
  EXPECT_FALSE(none.Drew()) << "no share, nothing drawn";
}

TEST(DelayDraw, TheSameSeedRepeatsAnotherDiffers) {
  auto draws = [](uint64_t seed) {
    DelayDraws d(seed, 20);
    std::vector<int64_t> v;
    for (int i = 0; i < 50; ++i) v.push_back(i % 2 ? d.Varied(d.Length(10, 5000)) : d.Length(0, 100));
    return v;
  };
  EXPECT_EQ(draws(5), draws(5));
  EXPECT_NE(draws(5), draws(6));
  EXPECT_NE(draws(0), draws(std::numeric_limits<uint64_t>::max()));
  EXPECT_NE(FreshSeed(), FreshSeed());
}

TEST(DelayDraw, WholeNumbersWithoutBiasOverAnyRange) {
  RandomSource r(1);
  // Two thirds of the 64-bit range: a plain remainder would give the lower
  // half of it twice as often as the upper half.
  const uint64_t bound = 0xAAAAAAAAAAAAAAAAu;
  int lowerHalf = 0;
  for (int i = 0; i < 4000; ++i) {
    const uint64_t v = r.Below(bound);
    ASSERT_LT(v, bound);
    lowerHalf += v < bound / 2;
  }
  EXPECT_GT(lowerHalf, 1800);
  EXPECT_LT(lowerHalf, 2200);
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min(), kMax = std::numeric_limits<int64_t>::max();
  std::set<bool> signs;
  for (int i = 0; i < 64; ++i) signs.insert(r.Between(kMin, kMax) < 0);
  EXPECT_EQ(signs.size(), 2u) << "the whole range";
  EXPECT_EQ(r.Between(-3, -3), -3);
}

}  // namespace
}  // namespace tesmuro::play
