#include "play/run_thread.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "play/replay.h"
#include "script/script_stream.h"
#include "script/word_reader.h"

namespace tesmuro::play {

namespace {
constexpr int64_t kMicrosPerSecond = 1000000;
// Behind the schedule by more than this, the schedule restarts from now.
constexpr int64_t kStallMicros = 50000;
// Pause after a pass with no positive delay in the endless modes.
constexpr int64_t kIdlePassMicros = 1000;
constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

// `seconds` after `start` on the microsecond clock, or kForever when that lies
// beyond the clock's range.
int64_t SecondsAfter(int64_t start, int64_t seconds) {
  if (seconds > (kForever - std::max<int64_t>(start, 0)) / kMicrosPerSecond) return kForever;
  return start + seconds * kMicrosPerSecond;
}
}  // namespace

TRunThread::TRunThread()
    : TRunThread(SystemInputSink(), SystemShutdownRequester(), CreateSystemPlayClock()) {}

TRunThread::TRunThread(IInputSink& sink, IShutdownRequester& shutdown, std::unique_ptr<IPlayClock> clock)
    : sink_(sink), shutdown_(shutdown), clock_(std::move(clock)) {}

TRunThread::~TRunThread() {
  if (!started_) {
    CloseScriptFile();
    return;
  }
  if (!Finished()) RequestStop(/*byUser=*/true);
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id())
      thread_.detach();  // cannot join itself; not reachable through the public API
    else
      thread_.join();
  }
}

void TRunThread::Resume() {
  if (!started_) {
    StoppedByUser.store(false);
    started_.store(true);
    try {
      thread_ = std::thread(&TRunThread::Run, this);
    } catch (...) {
      started_.store(false);  // the file stays with the object, closed by the destructor
      throw;
    }
    return;
  }
  if (paused_.exchange(false)) clock_->Wake();
}

void TRunThread::Suspend() {
  if (!started_ || Finished()) return;
  if (!paused_.exchange(true)) clock_->Wake();
}

bool TRunThread::Suspended() const { return !started_ || paused_.load(); }

void TRunThread::Terminate() {
  StopRequested.store(true);
  clock_->Wake();
}

void TRunThread::RequestStop(bool byUser) {
  if (byUser) StoppedByUser.store(true);
  StopRequested.store(true);
  clock_->Wake();
}

void TRunThread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TRunThread::CloseScriptFile() {
  if (ScriptFile) {
    std::fclose(ScriptFile);
    ScriptFile = nullptr;
  }
}

bool TRunThread::HonourPause(int64_t& due) {
  if (!paused_.load()) return !StopRequested.load();
  const int64_t start = clock_->NowMicros();
  // The user gets the keyboard and the mouse back while paused.
  if (replayer_) replayer_->LiftHeld();
  while (paused_.load() && !StopRequested.load()) clock_->WaitUntil(kForever);
  due += clock_->NowMicros() - start;
  if (StopRequested.load()) return false;  // nothing to press again: the run ends
  if (replayer_) replayer_->PressAgain();
  return true;
}

bool TRunThread::WaitForDue(int64_t& due) {
  for (;;) {
    if (!HonourPause(due)) return false;
    if (clock_->NowMicros() >= due) return true;
    clock_->WaitUntil(due);
  }
}

void TRunThread::Run() noexcept {
  Ending ending = Ending::ConversionError;
  ActionReplayer replayer(sink_);
  replayer_ = &replayer;
  try {
    ending = Play(replayer);
  } catch (...) {
    // Out of memory or the like: end as after a conversion error, never with a shutdown.
  }
  replayer.ReleaseHeld();
  replayer_ = nullptr;
  if (ending == Ending::Normal) StopRequested.store(true);
  CloseScriptFile();
  if (ending == Ending::Normal && ShutAfterLoops && !StoppedByUser.load()) ShutdownSystem(shutdown_);
  finished_.store(true, std::memory_order_release);
}

TRunThread::Ending TRunThread::Play(ActionReplayer& replayer) {
  IPlayClock& clock = *clock_;
  const int64_t start = clock.NowMicros();
  // A timed run of 0 seconds or less ends after its first pass; a shutdown
  // time of 0 or less is no shutdown time at all.
  const int64_t loopDeadline = LoopTotalSeconds > 0 ? SecondsAfter(start, LoopTotalSeconds) : start;
  const bool shutByTime = ShutAfterElapsed && ShutTotalSeconds > 0;
  const int64_t shutDeadline = shutByTime ? SecondsAfter(start, ShutTotalSeconds) : kForever;
  const int32_t mode = LoopMode == 1 || LoopMode == 2 ? LoopMode : 0;

  std::optional<script::FileByteStream> stream;
  if (ScriptFile) stream.emplace(ScriptFile);

  int64_t due = start;  // when the next action is due
  int64_t passes = 0;
  bool passHadWord = false;
  bool passHadDelay = false;
  script::Word word;

  while (!StopRequested.load()) {
    if (!stream) break;
    if (!HonourPause(due)) break;

    if (!script::ReadWord(*stream, word)) {
      // End of the pass.
      passes_.store(++passes, std::memory_order_relaxed);
      if (mode == 0 && (passes >= LoopCount || !passHadWord)) break;
      if (mode == 2 && clock.NowMicros() >= loopDeadline) break;
      stream->Rewind();
      if (mode != 0 && !passHadDelay) {
        int64_t idleUntil = clock.NowMicros() + kIdlePassMicros;
        if (!WaitForDue(idleUntil)) break;
        due = clock.NowMicros();
      }
      passHadWord = passHadDelay = false;
      continue;
    }
    passHadWord = true;

    if (shutByTime && clock.NowMicros() > shutDeadline) ShutdownSystem(shutdown_);

    const script::Action action = script::ParseAction(word.View(), *stream);
    switch (action.kind) {
      case script::ActionKind::Delay: {
        if (action.delay_ms <= 0) break;
        passHadDelay = true;
        due += int64_t{action.delay_ms} * 1000;
        const int64_t now = clock.NowMicros();
        if (now - due > kStallMicros) due = now;  // stalled: go on from here, no burst
        WaitForDue(due);                          // a stop is seen at the top of the loop
        break;
      }
      case script::ActionKind::ConversionError:
        return Ending::ConversionError;
      default:
        replayer.Replay(action, PostJoy, SendInputJoy);
        break;
    }
  }
  return Ending::Normal;
}

}  // namespace tesmuro::play
