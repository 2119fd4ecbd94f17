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
  // Earn the spin allowance for the time since the last plan (in hundredths
  // of a microsecond, so that nothing is lost to rounding however often this
  // runs; compared before multiplying, so that no length of time overflows).
  constexpr int64_t kFull = kSpinBurstMicros * 100;
  if (earned_at_ != std::numeric_limits<int64_t>::min() && now > earned_at_) {
    const int64_t since = now - earned_at_;
    allowance_ = since >= (kFull - allowance_) / kSpinBudgetPercent ? kFull
                                                                     : allowance_ + since * kSpinBudgetPercent;
    allowance_ = std::min(allowance_, kFull);
  }
  earned_at_ = now;
  if (allowance_ < left * 100) return {Step::Sleep, deadline};  // over budget: the timer alone
  spin_from_ = now;
  return {Step::Spin, deadline};
}

void WaitPlanner::Ended(const Next& step, int64_t at) {
  switch (step.step) {
    case Step::Sleep: sleep_.Observe(at - step.until); break;
    case Step::Doze: doze_.Observe(at - step.until); break;
    case Step::Spin: {
      // A spin may take the allowance below zero, to be paid back from the
      // time to come; by at most one burst, and counted as at most two, so
      // that a machine suspended during a spin (no processor time at all)
      // does not stop the spin for hours.
      const int64_t spun = std::clamp<int64_t>(at - spin_from_, 0, 2 * kSpinBurstMicros);
      allowance_ = std::max(allowance_ - spun * 100, -kSpinBurstMicros * 100);
      break;
    }
  }
}

}  // namespace tesmuro::play
