// The delays: 延迟 MS and 随机延迟 MIN,MAX, on the run's schedule.
//
// Each action is due at the start of the run plus the sum of the delays
// before it, so the time spent reading and injecting is absorbed by the next
// delay instead of adding up. A zero or negative delay is no pause. When the
// schedule is more than kStallMicros behind (the machine stalled), it
// restarts from the current time rather than firing the late actions in a burst.
#include "play/word_families.h"

namespace tesmuro::play {

using namespace run_detail;

Step PlayDelay(Run& run, const script::Action& action) {
  if (action.badRange) return run.StopOn(StopReason::Kind::BadDelayRange, run.LineStart());
  Schedule& s = run.schedule;
  const int32_t ms = action.kind == script::ActionKind::Delay ? action.delay_ms
                                                              : s.draws.Length(action.delay_ms, action.delay_max_ms);
  const int64_t micros = ms > 0 ? s.draws.Varied(ms) : 0;  // > 0 when ms is: the share is at most half
  if (s.draws.Drew()) run.shared.drew.store(true);
  if (micros <= 0) return Step::Next();
  run.pass.hadDelay = run.tookTime = true;
  s.Advance(micros);
  const int64_t now = run.clock.NowMicros();
  if (now - s.due > kStallMicros) s.due = now;  // stalled: go on from here, no burst
  run.WaitForDue(s.due);                        // a stop is seen before the next word
  return Step::Next();
}

}  // namespace tesmuro::play
