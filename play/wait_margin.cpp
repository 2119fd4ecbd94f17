#include "play/wait_margin.h"

#include <algorithm>

namespace tesmuro::play {

WaitMargin::WaitMargin(const Settings& settings) : settings_(settings) {
  Settings& s = settings_;
  s.floorMicros = std::max<int64_t>(0, s.floorMicros);
  s.ceilingMicros = std::max(s.floorMicros, s.ceilingMicros);
  s.initialMicros = std::clamp(s.initialMicros, s.floorMicros, s.ceilingMicros);
  s.percentile = std::clamp(s.percentile, 1, 100);
  s.paddingMicros = std::max<int64_t>(0, s.paddingMicros);
  margin_ = s.initialMicros;
}

void WaitMargin::Observe(int64_t lateMicros) {
  // Anything beyond the ceiling has the same effect as the ceiling itself, and
  // clamping keeps the arithmetic below safe from absurd values.
  late_[next_] = std::clamp<int64_t>(lateMicros, 0, settings_.ceilingMicros);
  next_ = (next_ + 1) % kWindow;
  if (count_ < kWindow) ++count_;
  ++observed_;
  Update();
}

void WaitMargin::Update() {
  std::array<int64_t, kWindow> sorted;
  std::copy_n(late_.begin(), count_, sorted.begin());
  // The smallest value that at least `percentile` percent of the window do
  // not exceed (rank ceil(p * n / 100), counted from 1).
  const int rank = std::max(1, (settings_.percentile * count_ + 99) / 100);
  std::nth_element(sorted.begin(), sorted.begin() + (rank - 1), sorted.begin() + count_);
  int64_t margin = sorted[rank - 1] + settings_.paddingMicros;
  if (count_ < kWarmUp) margin = std::max(margin, settings_.initialMicros);
  margin_ = std::clamp(margin, settings_.floorMicros, settings_.ceilingMicros);
}

}  // namespace tesmuro::play
