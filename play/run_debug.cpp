#include "play/run_debug.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <utility>

#include "play/run_context.h"
#include "play/run_state.h"
#include "play/word_families.h"

namespace tesmuro::play {

namespace {

// Skips the white space before the next word; its offset, or -1 at the end.
int64_t NextWordAt(script::ByteStream& in) {
  int c;
  do c = in.Get();
  while (script::IsScriptSpace(c));
  if (c == script::ByteStream::kEnd) return -1;
  in.Unget(c);
  return in.Tell();
}

// Reads the lines before the part's start without playing them: what the
// last window and screen lines say applies to what plays after them.
void ReadUpTo(Run& run, int64_t start) {
  script::FileByteStream& in = *run.stream;
  script::Word word;
  std::optional<script::Action> screen;
  while (in.Tell() < start && script::ReadWord(in, word)) {
    if (in.Tell() - static_cast<int64_t>(word.size) >= start) {
      // The part's first word (arguments of the line before may reach it):
      // read again from the start.
      in.Seek(start);
      break;
    }
    script::Action a = script::ParseAction(word.View(), in);
    if (a.kind == script::ActionKind::Window) {
      PlayWindowWord(run, a);
    } else if (a.kind == script::ActionKind::Screen) {
      run.windows.pending.reset();  // a screen line starts afresh, as when played
      screen = std::move(a);
    }
  }
  if (screen) run.replayer.Replay(*screen);  // no input: it only says where the moves were recorded
}

// The run pauses before the word at `at`, as Pause would.
void PauseHere(Run& run, int64_t line, bool breakpoint) {
  {
    std::lock_guard<std::mutex> l(run.shared.noticeLock);
    run.shared.pauseNotice = PauseNotice{line, breakpoint};
  }
  run.shared.paused.store(true);
}

}  // namespace

void BeforeWord(Run& run) {
  const RunOptions& o = run.options;
  if (!o.debuggable) return;
  DebugPlace& d = run.debug;
  if (!run.calls.empty()) {
    // A called script's lines: a step goes into them (its line shows as the
    // 调用's); breakpoints and the part are places in the run's own script.
    if (run.shared.stepRequested.exchange(false)) PauseHere(run, run.LineOf(0), /*breakpoint=*/false);
    return;
  }
  script::FileByteStream& in = *run.stream;
  if (!d.started) {
    d.started = true;
    if (o.part.start > 0) {
      ReadUpTo(run, o.part.start);
      EnterAt(run, o.part.start);
    }
  }
  int64_t at = NextWordAt(in);
  if (at < 0) return;
  // A new pass starts the part again; a loop or jump of the part may go back
  // before it (a 重复 the part starts in goes round whole).
  if (at < o.part.start && !run.pass.hadWord) {
    in.Seek(o.part.start);
    EnterAt(run, o.part.start);
    at = NextWordAt(in);
    if (at < 0) return;
  }
  if (o.part.end >= 0 && at >= o.part.end) {
    in.Seek(std::numeric_limits<int64_t>::max());  // the pass ends here
    return;
  }
  const int64_t last = std::exchange(d.lastWord, at);
  if (run.shared.stepRequested.exchange(false)) {
    PauseHere(run, run.LineOf(at), /*breakpoint=*/false);
    return;
  }
  // The breakpoint whose line holds the word, if the run has just come to it
  // (not from an earlier word of the same line).
  const auto& bps = o.breakpoints;
  auto it = std::upper_bound(bps.begin(), bps.end(), at, [](int64_t v, const LineSpan& s) { return v < s.start; });
  if (it == bps.begin()) return;
  const LineSpan& bp = *--it;
  if (at >= bp.end && bp.end >= 0) return;
  if (last >= bp.start && last < at) return;
  PauseHere(run, bp.line, /*breakpoint=*/true);
}

}  // namespace tesmuro::play
