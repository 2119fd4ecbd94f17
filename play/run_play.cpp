// The run's reading loop: a word at a time, each to its family, with the
// passes and the shutdown deadline.
//
// At the end of the script a pass is over: the run rewinds for another one
// or ends, by its loop mode. A pass with no positive delay in the endless
// modes is followed by a short pause, so that an empty script cannot keep a
// core busy; in the counted mode a pass that reads no word at all ends the
// run (every further pass would be as empty).
#include "play/word_families.h"

namespace tesmuro::play {

using namespace run_detail;

namespace {
// Pause after a pass with no positive delay in the endless modes.
constexpr int64_t kIdlePassMicros = 1000;
}  // namespace

Family FamilyOf(script::ActionKind kind) {
  using K = script::ActionKind;
  switch (kind) {
    case K::Delay: case K::RandomDelay:
      return PlayDelay;
    case K::Window: case K::WaitWindow: case K::WaitColor:
      return PlayWindowWord;
    case K::WaitImage: case K::ClickImage:
      return PlayPicture;
    case K::TypeText:
      return PlayTypeText;
    case K::WaitKey: return PlayWaitKey;
    default:
      return PlayInput;
  }
}

namespace {

// When the run stops going round: its mode, and a timed run's deadline (a
// timed run of 0 seconds or less ends after its first pass).
struct Passes {
  Passes(const RunOptions& o, int64_t start)
      : mode(o.loopMode == LoopMode::UntilStop || o.loopMode == LoopMode::Timed ? o.loopMode : LoopMode::Count),
        count(o.loopCount), deadline(o.loopTotalSeconds > 0 ? SecondsAfter(start, o.loopTotalSeconds) : start) {}
  const LoopMode mode;
  const int64_t count;
  const int64_t deadline;
  int64_t done = 0;
};

// The end of a pass: counts it, then rewinds for the next one; false when
// the run ends here.
bool NextPass(Run& run, Passes& passes) {
  run.shared.passes.store(++passes.done, std::memory_order_relaxed);
  if (passes.mode == LoopMode::Count && (passes.done >= passes.count || !run.pass.hadWord)) return false;
  if (passes.mode == LoopMode::Timed && run.clock.NowMicros() >= passes.deadline) return false;
  run.stream->Rewind();
  run.controls.Restart();
  if (passes.mode != LoopMode::Count && !run.pass.hadDelay) {
    int64_t idleUntil = run.clock.NowMicros() + kIdlePassMicros;
    if (!run.WaitForDue(idleUntil, /*precise=*/false)) return false;
    run.schedule.due = run.clock.NowMicros();
  }
  run.pass = PassState{};
  return true;
}
}  // namespace

RunEnding Play(Run& run) {
  const int64_t start = run.clock.NowMicros();
  const RunOptions& o = run.options;
  Passes passes(o, start);
  // A shutdown time of 0 or less is no shutdown time at all.
  const bool shutByTime = o.shutAfterElapsed && o.shutTotalSeconds > 0;
  const int64_t shutDeadline = shutByTime ? SecondsAfter(start, o.shutTotalSeconds) : kForever;
  if (!run.file) return RunEnding::Normal;
  if (std::optional<Step> wrong = CheckStructure(run)) return wrong->ending();
  run.stream = &run.ownStream.emplace(run.file, script::FileByteStream::kBufferSize, &run.shared.lineOffset);
  run.schedule.due = start;

  script::Word word;
  while (!run.Stopped()) {
    BeforeWord(run);  // breakpoints, steps and the part played of the box's runs (play/run_debug.cpp)
    if (!run.HonourPause(run.schedule.due)) break;
    if (!script::ReadWord(*run.stream, word)) {
      if (!EndOfCalled(run) && !NextPass(run, passes)) break;
      continue;
    }
    run.pass.hadWord = true;
    if (shutByTime && run.clock.NowMicros() > shutDeadline) ShutdownSystem(*run.shared.shutdown);
    if (const std::optional<script::ControlWord> control = script::MatchControlWord(word.View())) {
      const Step step = PlayControl(run, *control, run.stream->Tell() - static_cast<int64_t>(word.size));
      if (step.Ends()) return step.ending();
      continue;
    }
    const script::Action action = script::ParseAction(word.View(), *run.stream);
    if (action.badText) return run.StopOn(StopReason::Kind::BadText, run.LineStart()).ending();
    const Step step = FamilyOf(action.kind)(run, action);
    if (step.Ends()) return step.ending();
  }
  return RunEnding::Normal;
}

}  // namespace tesmuro::play
