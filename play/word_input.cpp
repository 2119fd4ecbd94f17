// The input words: moves, buttons, wheels, keys, the controller and screen
// lines go to the replayer (play/replay.h), after the window a window line
// named for them and the foreground check.
#include <mutex>

#include "play/word_families.h"

namespace tesmuro::play {

using namespace run_detail;

Step PlayInput(Run& run, const script::Action& action) {
  if (action.kind == script::ActionKind::ConversionError)
    return run.StopOn(StopReason::Kind::BadCode, run.LineStart());
  if (std::optional<Step> instead = AwaitNamedWindow(run, action)) return *instead;
  // A screen line starts afresh: no window named before it acts after it.
  if (action.kind == script::ActionKind::Screen) run.windows.pending.reset();
  if (!run.InputMayGo()) return Step::End(RunEnding::Blocked);
  run.replayer.Replay(action);
  if (action.kind == script::ActionKind::Move) {
    if (auto n = run.replayer.TakeScreenNotice()) {
      std::lock_guard<std::mutex> l(run.shared.noticeLock);
      run.shared.screenNotice = *n;
    }
  }
  return Step::Next();
}

}  // namespace tesmuro::play
