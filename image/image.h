// A picture in memory: rows of 32-bit pixels, top row first.
#pragma once

#include <cstdint>
#include <vector>

namespace tesmuro::image {

// A pixel is 0xAARRGGBB; alpha 0 is fully transparent.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;  // width * height, row after row

  Image() = default;
  Image(int32_t w, int32_t h, uint32_t fill = 0xFF000000u)
      : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}
  bool Empty() const { return width <= 0 || height <= 0; }
  uint32_t At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
  uint32_t& At(int32_t x, int32_t y) { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

}  // namespace tesmuro::image
