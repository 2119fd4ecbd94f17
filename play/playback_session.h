// A program's playback: the run in progress, started from one options record.
//
// Every way of starting a run (the Play command, the script box's own play,
// the command line, the start-up auto play, the Linux program) builds a
// ScriptSource and a RunOptions and hands them to Start(), so the runs differ
// only in what they were asked, never in how a copy of the start-up sequence
// happens to read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "play/progress.h"
#include "play/run_options.h"
#include "play/run_thread.h"

namespace tesmuro::play {

class PlaybackSession {
 public:
  using NewPlayer = std::function<std::unique_ptr<TRunThread>()>;
  using NewScratchFile = std::function<std::FILE*()>;
  // `newPlayer` makes a new, not yet started player (on the program's
  // services, play/player_services.h); there is no default: none throws
  // std::invalid_argument. `newScratchFile` makes the
  // empty, self-deleting file a copy of the box's text is played from; none:
  // the system's temporary file.
  explicit PlaybackSession(NewPlayer newPlayer, NewScratchFile newScratchFile = {});
  ~PlaybackSession();
  PlaybackSession(const PlaybackSession&) = delete;
  PlaybackSession& operator=(const PlaybackSession&) = delete;

  enum class StartResult { Started, CannotOpen, CannotCopy };
  // Opens the script file, or copies the box's text, ends the run in
  // progress (as the user's stop) and starts a new run of the script with
  // `options`; the run owns the script from here on. `tick`: the millisecond
  // tick count now, for the progress. When the script cannot be opened or
  // copied, nothing changes: a run in progress goes on.
  StartResult Start(const ScriptSource& source, const RunOptions& options, uint32_t tick);
  // Ends the run in progress as the user's stop (never followed by a
  // shutdown) and lets the player go.
  void Stop();
  // Pauses or resumes the run in progress; false without one.
  bool TogglePause();

  // A run has started and not finished.
  bool Playing() const { return player_ && !player_->Finished(); }
  // How the current or last run ended; a run still going counts as stopped
  // (it is being ended by the user).
  RunOutcome Outcome() const;
  // The current or last player; none before the first run and after Stop().
  TRunThread* Player() const { return player_.get(); }
  // While a run plays a script the box shows: the byte offset in it of the
  // line being played; after such a run stopped on a line of its script,
  // that line's. Nothing otherwise.
  std::optional<int64_t> BoxLineOffset() const;

  using Progress = play::Progress;
  Progress ProgressAt(uint32_t tick) const;

 private:
  NewPlayer newPlayer_;
  NewScratchFile newScratchFile_;
  std::unique_ptr<TRunThread> player_;
  bool shownInBox_ = false;
  uint32_t startTick_ = 0;
};

}  // namespace tesmuro::play
