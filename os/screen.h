// The screen as a whole, as the player and the recorders see it.
#pragma once

#include <cstdint>

namespace tesmuro {

// The virtual screen: the rectangle around every monitor, in physical pixels,
// and the primary monitor's DPI. Width or height 0: not known.
struct ScreenRect {
  int32_t left = 0, top = 0, width = 0, height = 0, dpi = 0;
  bool Known() const { return width > 0 && height > 0; }
  bool SameArea(const ScreenRect& o) const {
    return left == o.left && top == o.top && width == o.width && height == o.height;
  }
  bool operator==(const ScreenRect&) const = default;
};

}  // namespace tesmuro
