// The pattern the test window draws with --pattern (tests/linux/test_window.cpp),
// so that a test knows every pixel of it: 16x12 colours, no two alike.
#pragma once

#include <cstdint>

namespace tesmuro::test {

constexpr int kPatternWidth = 16, kPatternHeight = 12;

// The colour at (i, j) of the pattern, as 0xRRGGBB.
constexpr uint32_t PatternPixel(int i, int j) {
  return static_cast<uint32_t>((i * 15 + 7) & 0xFF) << 16 | static_cast<uint32_t>((j * 21 + 3) & 0xFF) << 8 |
         static_cast<uint32_t>((i * j * 5 + 11) & 0xFF);
}

}  // namespace tesmuro::test
