// The run's own moves between words: pauses, the wait for the next action's
// time, the foreground check before input, a stop on the script.
#include "play/run_context.h"

namespace tesmuro::play {

using namespace run_detail;

bool Run::HonourPause(int64_t& due) {
  if (!shared.paused.load()) return !Stopped();
  const int64_t start = clock.NowMicros();
  // The user gets the keyboard and the mouse back while paused.
  replayer.LiftHeld();
  while (shared.paused.load() && !Stopped()) clock.WaitUntil(kForever);
  due += clock.NowMicros() - start;
  if (Stopped()) return false;  // nothing to press again: the run ends
  replayer.PressAgain();
  return true;
}

bool Run::WaitForDue(int64_t& due, bool precise) {
  for (;;) {
    if (!HonourPause(due)) return false;
    if (clock.NowMicros() >= due) return true;
    if (precise)
      clock.WaitUntil(due);
    else
      clock.SleepUntil(due);
  }
}

bool Run::InputMayGo() {
  const bool force = pass.start;
  pass.start = false;
  const uint64_t now = sink.ForegroundWindow();
  if (force || !foregroundKnown_ || now != foreground_) {
    foreground_ = now;
    foregroundKnown_ = true;
    shared.blocked.store(now != 0 && sink.ForegroundRefusesInput(now));
  }
  return !shared.blocked.load() || !options.stopWhenBlocked;
}

Step Run::StopOn(StopReason::Kind kind, int64_t offset, std::string what, int32_t seconds) {
  StopReason r;
  r.kind = kind;
  if (testing && r.TimedOut()) {
    conditionMet = false;
    return Step::Next();
  }
  // In a called script the line told is the run's own script's 调用.
  r.offset = std::max<int64_t>(calls.empty() ? offset : LineStart(), 0);
  r.what = std::move(what);
  r.seconds = seconds;
  shared.stopReason = std::move(r);
  return Step::End(RunEnding::ScriptStop);
}

}  // namespace tesmuro::play
