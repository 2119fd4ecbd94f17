// A rectangle of pixels, the one every part uses: a window's place, an area
// a wait looks at, a picture search's bounds, the screen (with its dpi beside
// it). Coordinates are the desktop's, where the virtual screen may begin left
// of or above 0.
#pragma once

#include <cstdint>

namespace tesmuro {

struct Rect {
  int32_t left = 0, top = 0, width = 0, height = 0;
  // Nothing inside: a width or height of 0 or less.
  bool Empty() const { return width <= 0 || height <= 0; }
  bool Contains(int32_t x, int32_t y) const {
    return int64_t{x} >= left && int64_t{x} < int64_t{left} + width && int64_t{y} >= top &&
           int64_t{y} < int64_t{top} + height;
  }
  bool operator==(const Rect&) const = default;
};

}  // namespace tesmuro
