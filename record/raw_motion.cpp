#include "record/raw_motion.h"

namespace tesmuro {

bool RawMotionTracker::Take(const RawMouseReport& r, const PixelArea& primary, const PixelArea& virtualScreen,
                            int32_t& dx, int32_t& dy) {
  dx = dy = 0;
  if (r.absolute) {
    const PixelArea& a = r.virtualDesktop ? virtualScreen : primary;
    // 0..65535 spans the area; 64-bit so that no report can overflow.
    const int32_t x = a.left + static_cast<int32_t>(int64_t{r.x} * a.width / 65536);
    const int32_t y = a.top + static_cast<int32_t>(int64_t{r.y} * a.height / 65536);
    if (havePosition_) {
      dx = x - lastX_;
      dy = y - lastY_;
    }
    havePosition_ = true;
    lastX_ = x;
    lastY_ = y;
  } else {
    dx = r.x;
    dy = r.y;
  }
  return dx != 0 || dy != 0;
}

}  // namespace tesmuro
