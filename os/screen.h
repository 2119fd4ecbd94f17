// The screen as a whole, as the player and the recorders see it.
#pragma once

#include <cstdint>

#include "util/rect.h"

namespace tesmuro {

// The virtual screen: the rectangle around every monitor, in physical pixels,
// and the primary monitor's DPI. Width or height 0: not known.
struct ScreenRect : Rect {
  int32_t dpi = 0;
  bool Known() const { return !Empty(); }
  bool SameArea(const ScreenRect& o) const { return static_cast<const Rect&>(*this) == o; }
  bool operator==(const ScreenRect&) const = default;
};

}  // namespace tesmuro
