// How a run ended, for whoever started it: the outcome, the program's exit
// code and what the user is told. Every way a run can end is judged in one
// place, Verdict(): a way added to RunEnd::How or to StopReason::Kind does
// not compile until it has its exit code and its text there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "play/stop_reason.h"

namespace tesmuro::play {

// How a run ended, in the terms of the exit codes below.
enum class RunOutcome { Played, Stopped, Error, Blocked, WaitTimedOut };

// The exit codes of both programs (an unattended Windows run, /exit; the
// Linux commands).
inline constexpr int kExitPlayed = 0;        // played to the end (a recording: written)
inline constexpr int kExitStopped = 1;       // stopped by the user
inline constexpr int kExitError = 2;         // an error, or a line of the script that cannot be played
inline constexpr int kExitBlocked = 3;       // the input was refused by a window that runs as administrator
inline constexpr int kExitWaitTimedOut = 4;  // a wait for a window, a colour, a picture or a key ran out

// What the player knows once a run is over.
struct RunEnd {
  enum class How {
    Played,         // to the end of its passes (or its time)
    StoppedByUser,  // the Stop command, a hot key, a signal, the window closed; a run still going
    Blocked,        // its input was dropped on the way to an elevated window (stopWhenBlocked)
    Failed,         // a failure inside the run (out of memory or the like)
    OnLine,         // on a line of its script: `why`
  };
  How how = How::Played;
  StopReason why;       // OnLine only
  int64_t passes = 0;   // passes completed
};

struct RunVerdict {
  RunOutcome outcome = RunOutcome::Played;
  int exitCode = kExitPlayed;
  // UTF-8, without a closing full stop; empty when there is nothing to say.
  std::string text;
  // The text names the line the run stopped on ("第 N 行：...").
  bool onLine = false;
};

// The one judgement of a run's end. A title or file name in the text wider
// than `titleColumns` is cut short (ShortenTitle).
RunVerdict Verdict(const RunEnd& end, size_t titleColumns = SIZE_MAX);

}  // namespace tesmuro::play
