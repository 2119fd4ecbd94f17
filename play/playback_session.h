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
#include "play/run_front.h"
#include "play/run_options.h"
#include "play/run_thread.h"

namespace tesmuro::play {

// What a run has to tell the one who watches it, taken at each look.
struct RunNotices {
  std::optional<uint64_t> seed;        // its seed, once it drew (once per run)
  std::optional<ScreenNotice> screen;  // a screen of another size, not mapped (once per run)
  std::optional<WaitProgress> wait;    // the wait it is in; none between waits and once over
  std::optional<PauseNotice> pause;    // it paused on its own before a line (once per pause)
  bool inputBlocked = false;           // its input is being dropped (an elevated window)
  bool ended = false;                  // it is over: this look is the first to see it
};

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
  // A paused run of the box's plays the next line and pauses again; false
  // when there is none.
  bool Step() { return Playing() && player_->Step(); }
  // The run in progress (or the last) plays a script the box shows.
  bool ShownInBox() const { return player_ && shownInBox_; }
  // A run is in progress and paused.
  bool Paused() const { return Playing() && player_->Suspended(); }

  // The user pressed a key (TRunThread::UserKeyPressed): passed on to the
  // run in progress, for a 等待按键 it may be in.
  void UserKeyPressed(Shortcut key) {
    if (Playing()) player_->UserKeyPressed(key);
  }
  // A run has started and not finished.
  bool Playing() const { return player_ && !player_->Finished(); }
  // A run has started (and not been let go by Stop()) and is over.
  bool Ended() const { return player_ && player_->Finished(); }
  // How the current or last run ended, judged (play/run_front.h); a run
  // still going, or none, counts as stopped (it is being ended by the user).
  RunVerdict Verdict(size_t titleColumns = SIZE_MAX) const;
  RunOutcome Outcome() const { return Verdict().outcome; }
  // What the run has told since the last look; nothing without a run.
  RunNotices TakeNotices();
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
  bool endTold_ = false;
  uint32_t startTick_ = 0;
};

}  // namespace tesmuro::play
