// Playback speed: a percentage of the recorded pace. Every delay of a script
// is divided by SpeedPercent / 100, so 200 plays twice as fast.
#pragma once

#include <cstdint>

namespace tesmuro {

inline constexpr int32_t kMinSpeedPercent = 10;     // 0.1 x
inline constexpr int32_t kMaxSpeedPercent = 10000;  // 100 x
inline constexpr int32_t kNormalSpeedPercent = 100;

}  // namespace tesmuro
