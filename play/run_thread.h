// The playback thread: plays an action script file on a worker thread.
//
// Use, from the thread that owns the object (the main window's):
//
//   auto t = std::make_unique<play::TRunThread>(services);  // the program's sink, shutdown, clock
//   t->Start(std::fopen(path, "rb"), options);      // owns the file from here on
//   ...
//   t->Suspended() ? t->Resume() : t->Suspend();     // Pause command
//   t->RequestStop(/*byUser=*/true);                 // Stop command: prompt, never shuts down
//   t.reset();                                       // stops (if need be) and joins, promptly
//                                                    // (at most StopWait: see below)
//
// The run reads the file word by word and replays each action (play/replay.h).
// The options are the run's own copy of one RunOptions (play/run_options.h).
// At the end of the file it rewinds for another pass or ends, by loopMode:
//   Count      loopCount passes (a count of 1, 0 or less plays one pass); a
//              value outside the enumeration is taken as Count
//   UntilStop  until stopped
//   Timed      until loopTotalSeconds have passed since the start, checked only
//              at the end of a pass (the pass in progress always completes; a
//              total of 0 or less plays one pass)
// When the run ends on its own or by a stop: every key and mouse button it
// pressed and did not release is released, StopRequested() becomes true, the
// file is closed, and then, if shutAfterLoops is set and StoppedByUser() is
// not, the computer is asked to shut down (play/shutdown.h) once. With
// shutAfterElapsed, every word read once more than shutTotalSeconds have passed since the start
// asks for the shutdown again (the run goes on); a total of 0 or less never
// does. Totals are 64-bit seconds; a deadline beyond the clock's range is
// never reached. A key code or wheel turn that is
// not an integer, or a random delay that is not MIN,MAX, ends the run at
// once: held input is released and the file is
// closed, but no shutdown is requested and StopRequested() keeps its value.
//
// Timing. Each action is due at the start of the run plus the sum of the delays
// before it, across passes, on the monotonic microsecond clock (a random
// delay's length and the share of delayJitterPercent are drawn from the seed
// first, play/delay_draw.h: the sum is of the drawn delays): the time spent
// reading and injecting is absorbed by the next delay instead of adding up. A
// zero or negative delay is no pause. When the schedule is more than 50 ms behind
// (the machine stalled), it restarts from the current time rather than firing
// the late actions in a burst. A pass with no positive delay in modes 1 and 2 is
// followed by a 1 ms pause, so that an empty script cannot keep a core busy; in
// mode 0 a pass that reads no word at all ends the run (every further pass would
// be as empty).
//
// Pause is a request, not a thread suspension: it takes effect before the next
// word is read or at once inside a delay. On resume the schedule moves on by the
// time paused, so the remaining delay is kept and nothing comes in a burst. Keys
// and buttons the script holds are released when the pause takes effect and
// pressed again, in the order first pressed, on resume before anything else
// (see ActionReplayer::PressAgain); a stop while paused presses nothing. The run's deadlines
// (loopTotalSeconds, shutTotalSeconds) are fixed at the start: paused time counts.
// A stop while paused ends the run.
//
// Stop: RequestStop() and Terminate() set the flags and wake the thread, so a
// delay in progress ends at once; the destructor always wakes the thread.
//
// A run that cannot end: a read from a stalled network drive or an injection
// held up by another program does not return until it returns, and no flag can
// cut it short. The destructor waits for the run at most StopWait, then lets
// the thread go on its own: the run then ends as soon as the call returns
// (releasing what it holds, closing the file, never asking for a shutdown, as
// a user's stop). Everything the run uses is shared with the thread and lives
// until the thread is done: the clock, the file, the options it copied at the
// start, and the sink and shutdown requester when they are given as
// shared_ptr. Given by reference they must outlive the thread itself; Ended()
// tells when that is.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <future>
#include <optional>
#include <memory>
#include <thread>

#include "play/input_sink.h"
#include "play/play_clock.h"
#include "play/player_services.h"
#include "play/run_options.h"
#include "play/shutdown.h"
#include "play/stop_reason.h"
#include "util/shortcut.h"

namespace tesmuro::play {

class TRunThread {
  struct State;                  // what the thread uses, shared with it (run_thread.cpp)
  std::shared_ptr<State> state_;

 public:
  // There is no player without a sink: each program's main builds the
  // services from its platform half (play/player_services.h), tests from
  // fakes. A missing sink, shutdown requester or clock throws
  // std::invalid_argument.
  //
  // With the program's services and a new clock of theirs.
  explicit TRunThread(const PlayerServices& services);
  // With the given services; sink and shutdown must outlive the thread (see
  // above), the clock is its own (one clock per player: WaitUntil has a single
  // waiter).
  TRunThread(IInputSink& sink, IShutdownRequester& shutdown, std::unique_ptr<IPlayClock> clock);
  // With services the run shares: they live as long as the object or the
  // thread needs them, whichever is longer.
  TRunThread(std::shared_ptr<IInputSink> sink, std::shared_ptr<IShutdownRequester> shutdown,
             std::unique_ptr<IPlayClock> clock);

  // Not finished yet: counts as a stop by the user (so it never leads to a
  // shutdown), wakes the thread from any delay or pause and joins it, waiting
  // at most StopWait before letting it go on its own.
  ~TRunThread();

  TRunThread(const TRunThread&) = delete;
  TRunThread& operator=(const TRunThread&) = delete;

  // How long the destructor waits for a run that does not end when told to.
  std::chrono::milliseconds StopWait{2000};

  // Starts the run of `file` (opened "rb"; closed exactly once, by the run, or
  // here if the run cannot start) with its own copy of `options`. Once only:
  // a second call closes its file and does nothing else.
  void Start(std::FILE* file, const RunOptions& options);
  // The options the run was started with.
  const RunOptions& Options() const;
  // Ends a pause.
  void Resume();
  // Pauses the run (see above). Before the start and after the end it does nothing.
  void Suspend();
  // True before the start and while a pause is requested.
  bool Suspended() const;
  // While paused, a run of the box's (RunOptions::debuggable) plays on to
  // the next word's line and pauses there again (play/run_debug.h); false,
  // and nothing done, otherwise.
  bool Step();
  // Where the run paused on its own, at a breakpoint or after a step, once
  // for each such pause (then empty).
  std::optional<PauseNotice> TakePauseNotice();

  // Ends the run and wakes the thread. Not a user stop: a run ended this way
  // still asks for the shutdown of shutAfterLoops.
  void Terminate();
  // The Stop command: marks the stop as the user's (when byUser) before it
  // ends the run, then wakes the thread. Callable from any thread.
  void RequestStop(bool byUser);
  // The user pressed `key` (with the modifiers the user held): what the
  // platform's keyboard listener reports for each new press of a key that
  // is not the player's own (record/key_hook.h, UserKeyPresses). It counts only for a 等待按键 in progress (a press before
  // the wait began, or while paused, never does) and wakes the run.
  // Callable from any thread.
  void UserKeyPressed(Shortcut key);
  // A stop was asked for, or the run ended on its own.
  bool StopRequested() const;
  // The user stopped the run.
  bool StoppedByUser() const;

  // True once the run is over (file closed, shutdown requested if it was due).
  bool Finished() const;
  // Blocks until the run is over. Returns at once if it never started.
  void WaitFor();
  // Ready once the run no longer uses the sink, the shutdown requester or the
  // clock (just after Finished()); valid beyond the object's life. Never ready
  // if the run never starts.
  std::shared_future<void> Ended() const { return ended_; }

  // Passes completed so far (all modes).
  int64_t Passes() const;
  // A byte offset in the script within the line the run is playing (its
  // start, unless the line crosses the read buffer's end; during a delay,
  // the delay's line); -1 until it reads. For a view of the run: the player
  // only stores it as it enters each line.
  int64_t LineOffset() const;
  // The run is over because of an error: a line it cannot play (a key code
  // or wheel turn that is not a number, a colour that is not RRGGBB), or a
  // failure inside the run.
  bool EndedByError() const;
  // Why the run ended on its script (a line it could not play, a wait that
  // ran out of time), once it is over; nothing otherwise.
  std::optional<StopReason> WhyStopped() const;
  // The foreground window, when last looked at (at the start of each pass
  // and whenever it changed), refused the run's input: it runs as
  // administrator.
  bool InputBlocked() const;
  // The run ended because of that (with stopWhenBlocked).
  bool EndedBlocked() const;
  // The seed of the run's random draws (its own or a fresh one: Options()
  // has it from the start), once, as soon as the run has drawn a random delay
  // or varied a delay by the settings' share, for the user to repeat the run.
  std::optional<uint64_t> TakeSeedNotice();
  // The wait the run is in (a window, a colour or a picture that has not
  // come yet), with the seconds waited so far; nothing between waits. The
  // run updates it at most once a second.
  std::optional<WaitProgress> WaitInProgress() const;
  // The script's moves were recorded on a screen of another size and are not
  // mapped: the recorded and current screens, once per run (then empty).
  std::optional<ScreenNotice> TakeScreenNotice();

 private:
  std::thread thread_;
  std::shared_future<void> ended_;
};

}  // namespace tesmuro::play
