#include "play/wait_planner.h"

#include <algorithm>

namespace tesmuro::play {

bool WaitPlanner::DozeUsable() const {
  return can_doze_ && doze_.Observed() >= WaitMargin::kWarmUp && doze_.Micros() * 2 <= sleep_.Micros();
}

WaitPlanner::Next WaitPlanner::Plan(int64_t now, int64_t deadline) {
  const int64_t left = deadline - now;
  const int64_t sleepMargin = sleep_.Micros();
  if (left > sleepMargin + kShortestSleepMicros) {
    // Time enough for a trial doze, which must not cost the sleep its margin.
    if (can_doze_ && !DozeUsable() && probed_for_ != deadline && left - sleepMargin > kProbeRoomMicros) {
      probed_for_ = deadline;
      return {Step::Doze, now + kProbeMicros};
    }
    return {Step::Sleep, std::min(deadline - sleepMargin, now + kLongestSleepMicros)};
  }
  if (DozeUsable()) {
    const int64_t dozeMargin = doze_.Micros();
    if (left > dozeMargin + kShortestDozeMicros) {
      return {Step::Doze, std::min(deadline - dozeMargin, now + kLongestDozeMicros)};
    }
  }
  return {Step::Spin, deadline};
}

void WaitPlanner::Ended(const Next& step, int64_t at) {
  if (step.step == Step::Sleep) sleep_.Observe(at - step.until);
  else if (step.step == Step::Doze) doze_.Observe(at - step.until);
}

}  // namespace tesmuro::play
