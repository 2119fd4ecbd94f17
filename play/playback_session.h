// A program's playback: the run in progress, started from one options record.
//
// Every way of starting a run (the Play command, the script box's own play,
// the command line, the start-up auto play, the Linux program) builds a
// RunOptions and hands it to Start(), so the runs differ only in what they
// were asked, never in how a copy of the start-up sequence happens to read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

#include "play/input_sink.h"
#include "play/run_thread.h"
#include "play/speed.h"

namespace tesmuro::play {

// Everything a run is started with.
struct RunOptions {
  int32_t loopMode = 0;           // 0 count, 1 until stopped, 2 timed (TRunThread)
  int32_t loopCount = 1;          // passes in mode 0
  int64_t loopTotalSeconds = 0;   // length of mode 2
  bool shutAfterLoops = false;
  int64_t shutTotalSeconds = 0;
  bool shutAfterElapsed = false;
  ControllerDelivery controller;  // how controller words are delivered
  int32_t speedPercent = kNormalSpeedPercent;
  bool gameMode = false;
  bool scaleToScreen = false;
  bool stopWhenBlocked = false;   // an unattended run ends when its input is dropped
  bool operator==(const RunOptions&) const = default;
};

// Hands the options to a player that has not started yet.
void ApplyRunOptions(const RunOptions& options, TRunThread& player);

// How a run ended, with the exit codes of an unattended run.
enum class RunOutcome : int { Played = 0, Stopped = 1, Error = 2, Blocked = 3 };

class PlaybackSession {
 public:
  using NewPlayer = std::function<std::unique_ptr<TRunThread>()>;
  // `newPlayer` makes a new, not yet started player; none: one on the
  // system's input, clock and shutdown services.
  explicit PlaybackSession(NewPlayer newPlayer = {});
  ~PlaybackSession();
  PlaybackSession(const PlaybackSession&) = delete;
  PlaybackSession& operator=(const PlaybackSession&) = delete;

  // Ends the run in progress (as the user's stop), then starts `file`
  // (opened "rb"; the run owns it and closes it) with `options`. `tick`:
  // the millisecond tick count now, for the progress.
  TRunThread& Start(std::FILE* file, const RunOptions& options, uint32_t tick);
  // Ends the run in progress as the user's stop (never followed by a
  // shutdown) and lets the player go.
  void Stop();
  // Pauses or resumes the run in progress; false without one.
  bool TogglePause();

  // A run has started and not finished.
  bool Playing() const { return player && !player->Finished(); }
  // How the current or last run ended; a run still going counts as stopped
  // (it is being ended by the user).
  RunOutcome Outcome() const;

  struct Progress {
    bool playing = false;
    bool paused = false;
    int32_t mode = 0;
    int64_t passesDone = 0;
    int32_t passCount = 1;
    int64_t secondsLeft = 0;  // mode 2
  };
  Progress ProgressAt(uint32_t tick) const;

  // The current or last player (empty before the first run and after Stop()).
  std::unique_ptr<TRunThread> player;

 private:
  NewPlayer newPlayer_;
  int32_t mode_ = 0;
  int32_t count_ = 1;
  int64_t seconds_ = 0;
  uint32_t startTick_ = 0;
};

}  // namespace tesmuro::play
