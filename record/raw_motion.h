// Relative mouse motion from raw input reports.
//
// A mouse reports how far it moved. Tablets, remote sessions and virtual
// machines report where the pointer is instead, on a scale of 0..65535 over
// the primary screen or, with the virtual-desktop flag, over every monitor;
// their motion is the difference between two positions, and the first
// position after a start gives none.
#pragma once

#include <cstdint>

#include "util/rect.h"

namespace tesmuro {

struct RawMouseReport {
  bool absolute = false;        // positions, not distances
  bool virtualDesktop = false;  // absolute positions span the virtual screen
  int32_t x = 0, y = 0;         // distances, or positions 0..65535
};

// A screen area in pixels: the common rectangle.
using PixelArea = Rect;

class RawMotionTracker {
 public:
  // The motion in pixels; false when there is none to record (no motion, or
  // the first absolute position).
  bool Take(const RawMouseReport& r, const PixelArea& primary, const PixelArea& virtualScreen, int32_t& dx,
            int32_t& dy);
  // Forgets the last absolute position (a new recording begins).
  void Reset() { havePosition_ = false; }

 private:
  bool havePosition_ = false;
  int32_t lastX_ = 0, lastY_ = 0;
};

}  // namespace tesmuro
