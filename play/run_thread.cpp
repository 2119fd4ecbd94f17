#include "play/run_thread.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>

#include "os/desktop.h"
#include "play/delay_draw.h"
#include "play/run_state.h"
#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"

namespace tesmuro::play {

namespace {
// Behind the schedule by more than this, the schedule restarts from now.
constexpr int64_t kStallMicros = 50000;
// Our windows that stepped aside come back this long after the run's last input.
constexpr int64_t kComeBackMicros = 200000;
// Pause after a pass with no positive delay in the endless modes.
constexpr int64_t kIdlePassMicros = 1000;

// The line (counted from 1) that holds the byte at `offset` of `file`: line
// breaks are LF, CR LF or a lone CR.
int64_t LineAt(std::FILE* file, int64_t offset) {
  if (std::fseek(file, 0, SEEK_SET) != 0) return 0;
  int64_t line = 1;
  int prev = 0;
  char buf[4096];
  for (int64_t pos = 0; pos < offset;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(sizeof buf, offset - pos));
    const size_t got = std::fread(buf, 1, want, file);
    if (got == 0) break;
    for (size_t i = 0; i < got; ++i) {
      const int c = static_cast<unsigned char>(buf[i]);
      if (c == '\n' ? prev != '\r' : c == '\r') ++line;
      prev = c;
    }
    pos += static_cast<int64_t>(got);
  }
  return line;
}

// A reference that the run may keep: it owns nothing.
template <class T>
std::shared_ptr<T> Unowned(T& object) {
  return std::shared_ptr<T>(std::shared_ptr<T>(), &object);
}

// A service the player cannot run without.
template <class P>
P Required(P service, const char* what) {
  if (!service) throw std::invalid_argument(std::string("a player needs its ") + what);
  return service;
}
}  // namespace

using namespace run_detail;


TRunThread::TRunThread(const PlayerServices& services)
    : TRunThread(services.input, services.shutdown, services.newClock ? services.newClock() : nullptr) {}

TRunThread::TRunThread(IInputSink& sink, IShutdownRequester& shutdown, std::unique_ptr<IPlayClock> clock)
    : TRunThread(Unowned(sink), Unowned(shutdown), std::move(clock)) {}

TRunThread::TRunThread(std::shared_ptr<IInputSink> sink, std::shared_ptr<IShutdownRequester> shutdown,
                       std::unique_ptr<IPlayClock> clock)
    : state_(std::make_shared<State>(Required(std::move(sink), "input sink"),
                                     Required(std::move(shutdown), "shutdown requester"),
                                     Required(std::move(clock), "clock"))),
      ended_(state_->ended.get_future().share()) {}

TRunThread::~TRunThread() {
  if (!state_->started) return;
  if (!Finished()) RequestStop(/*byUser=*/true);
  if (!thread_.joinable()) return;
  // A thread cannot join itself (not reachable through the public API); a run
  // stuck in a system call is left to end on its own.
  if (thread_.get_id() != std::this_thread::get_id() &&
      ended_.wait_for(StopWait) == std::future_status::ready)
    thread_.join();
  else
    thread_.detach();
}

void TRunThread::Start(std::FILE* file, const RunOptions& options) {
  State& s = *state_;
  if (s.started) {
    if (file) std::fclose(file);
    return;
  }
  s.file = file;
  s.options = options;
  s.options.speedPercent = std::clamp(options.speedPercent, kMinSpeedPercent, kMaxSpeedPercent);
  s.options.delayJitterPercent = std::clamp(options.delayJitterPercent, 0, kMaxDelaySharePercent);
  if (!s.options.seed) s.options.seed = FreshSeed();  // Options() tells it, to repeat the run
  s.stoppedByUser.store(false);
  s.started.store(true);
  try {
    thread_ = std::thread([state = state_] { state->Main(); });
  } catch (...) {
    s.started.store(false);
    s.file = nullptr;
    if (file) std::fclose(file);
    throw;
  }
}

const RunOptions& TRunThread::Options() const { return state_->options; }

void TRunThread::Resume() {
  State& s = *state_;
  if (s.started && s.paused.exchange(false)) s.Wake();
}

void TRunThread::Suspend() {
  if (!state_->started || Finished()) return;
  if (!state_->paused.exchange(true)) state_->Wake();
}

bool TRunThread::Suspended() const { return !state_->started || state_->paused.load(); }

void TRunThread::Terminate() {
  state_->stopRequested.store(true);
  state_->Wake();
}

void TRunThread::RequestStop(bool byUser) {
  if (byUser) state_->stoppedByUser.store(true);
  state_->stopRequested.store(true);
  state_->Wake();
}

bool TRunThread::StopRequested() const { return state_->stopRequested.load(); }

bool TRunThread::StoppedByUser() const { return state_->stoppedByUser.load(); }

bool TRunThread::Finished() const { return state_->finished.load(std::memory_order_acquire); }

int64_t TRunThread::Passes() const { return state_->passes.load(std::memory_order_relaxed); }

int64_t TRunThread::LineOffset() const { return state_->lineOffset.load(std::memory_order_relaxed); }

bool TRunThread::EndedByError() const { return Finished() && state_->failed.load(); }

std::optional<StopReason> TRunThread::WhyStopped() const {
  if (!Finished()) return std::nullopt;
  return state_->stopReason;
}

bool TRunThread::InputBlocked() const { return state_->blocked.load(); }

bool TRunThread::EndedBlocked() const { return Finished() && state_->endedBlocked.load(); }

std::optional<uint64_t> TRunThread::TakeSeedNotice() {
  if (!state_->drew.load() || state_->seedTold.exchange(true)) return std::nullopt;
  return state_->options.seed;
}

std::optional<ScreenNotice> TRunThread::TakeScreenNotice() {
  std::lock_guard<std::mutex> l(state_->noticeLock);
  auto n = state_->screenNotice;
  state_->screenNotice.reset();
  return n;
}

std::optional<WaitProgress> TRunThread::WaitInProgress() const {
  std::lock_guard<std::mutex> l(state_->noticeLock);
  return state_->waitShown;
}

int64_t TRunThread::State::LineOf(int64_t offset) {
  if (!file) return 0;
  if (offset < counted.offset) counted = {};
  const long keep = std::ftell(file);
  if (keep < 0 || std::fseek(file, static_cast<long>(counted.offset), SEEK_SET) != 0) return 0;
  char buf[4096];
  while (counted.offset < offset) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(sizeof buf, offset - counted.offset));
    const size_t got = std::fread(buf, 1, want, file);
    if (got == 0) break;
    for (size_t i = 0; i < got; ++i) {
      const int c = static_cast<unsigned char>(buf[i]);
      if (c == '\n' ? counted.prev != '\r' : c == '\r') ++counted.line;
      counted.prev = c;
    }
    counted.offset += static_cast<int64_t>(got);
  }
  std::fseek(file, keep, SEEK_SET);  // the script's reader goes on where it was
  return counted.line;
}

void TRunThread::State::NextWaitIs(WaitProgress::Kind kind, std::string what, int64_t offset, int32_t limit) {
  nextWait = WaitProgress{kind, std::move(what), 0, 0, limit};
  nextWait->line = LineOf(std::max<int64_t>(offset, 0));
}

void TRunThread::State::ShowWaited(int32_t seconds) {
  if (!nextWait) return;
  std::lock_guard<std::mutex> l(noticeLock);
  if (waitShown && waitShown->elapsed == seconds) return;
  waitShown = *nextWait;
  waitShown->elapsed = seconds;
}

bool TRunThread::State::CheckForeground(bool force) {
  const uint64_t now = sink->ForegroundWindow();
  if (force || !foregroundKnown || now != foreground) {
    foreground = now;
    foregroundKnown = true;
    blocked.store(now != 0 && sink->ForegroundRefusesInput(now));
  }
  return !blocked.load();
}

void TRunThread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool TRunThread::State::HonourPause(int64_t& due) {
  if (!paused.load()) return !stopRequested.load();
  const int64_t start = clock->NowMicros();
  // The user gets the keyboard and the mouse back while paused.
  if (replayer) replayer->LiftHeld();
  while (paused.load() && !stopRequested.load()) clock->WaitUntil(kForever);
  due += clock->NowMicros() - start;
  if (stopRequested.load()) return false;  // nothing to press again: the run ends
  if (replayer) replayer->PressAgain();
  return true;
}

bool TRunThread::State::WaitForDue(int64_t& due, bool precise) {
  for (;;) {
    if (!HonourPause(due)) return false;
    if (clock->NowMicros() >= due) return true;
    if (precise)
      clock->WaitUntil(due);
    else
      clock->SleepUntil(due);
  }
}

void TRunThread::State::Main() noexcept {
  Ending ending = Ending::ConversionError;
  {
    ActionReplayer r(*sink, options);
    replayer = &r;
    try {
      ending = Play();
    } catch (...) {
      // Out of memory or the like: end as after a conversion error, never with a shutdown.
    }
    r.ReleaseHeld();
    replayer = nullptr;
  }
  if (IDesktop* desktop = sink->Desktop(); desktop && !steppedAside.empty()) {
    // Under Wine a mouse message goes to the window under its point when the
    // program it is queued for reads it, not when it was sent: a window of
    // ours back at once could take the release of a click the run ended with.
    clock->SleepUntil(clock->NowMicros() + kComeBackMicros);
    for (uint64_t w : steppedAside) desktop->ComeBack(w);
  }
  if (stopReason && file) stopReason->line = LineAt(file, stopReason->offset);
  if (ending == Ending::ScriptStop && (stopReason->kind == StopReason::Kind::BadCode ||
                                       stopReason->kind == StopReason::Kind::BadColor ||
                                       stopReason->kind == StopReason::Kind::BadDelayRange ||
                                       stopReason->kind == StopReason::Kind::BadText ||
                                       stopReason->kind == StopReason::Kind::ImageUnreadable))
    ending = Ending::ConversionError;
  if (ending != Ending::ConversionError) stopRequested.store(true);
  if (ending == Ending::ConversionError) failed.store(true);
  if (ending == Ending::Blocked) endedBlocked.store(true);
  blocked.store(false);
  if (file) {
    std::fclose(file);
    file = nullptr;
  }
  if (ending == Ending::Normal && options.shutAfterLoops && !stoppedByUser.load()) ShutdownSystem(*shutdown);
  finished.store(true, std::memory_order_release);
  ended.set_value();
}

TRunThread::State::Ending TRunThread::State::Play() {
  const int64_t start = clock->NowMicros();
  // A timed run of 0 seconds or less ends after its first pass; a shutdown
  // time of 0 or less is no shutdown time at all.
  const RunOptions& o = options;
  const int64_t loopDeadline = o.loopTotalSeconds > 0 ? SecondsAfter(start, o.loopTotalSeconds) : start;
  const bool shutByTime = o.shutAfterElapsed && o.shutTotalSeconds > 0;
  const int64_t shutDeadline = shutByTime ? SecondsAfter(start, o.shutTotalSeconds) : kForever;
  const LoopMode mode =
      o.loopMode == LoopMode::UntilStop || o.loopMode == LoopMode::Timed ? o.loopMode : LoopMode::Count;

  std::optional<script::FileByteStream> stream;
  if (file) stream.emplace(file, script::FileByteStream::kBufferSize, &lineOffset);

  int64_t due = start;  // when the next action is due
  // Delays are divided by the speed; what a division leaves over is carried
  // to the next delay, so the schedule keeps exact time at any speed. A
  // random delay's length and the share are drawn first, on the delay as
  // written: the schedule is the sum of the drawn delays.
  int64_t carry = 0;
  DelayDraws draws(*o.seed, o.delayJitterPercent);
  int64_t passCount = 0;
  bool passHadWord = false;
  bool passHadDelay = false;
  script::Word word;
  bool passStart = true;

  while (!stopRequested.load()) {
    if (!stream) break;
    if (!HonourPause(due)) break;

    if (!script::ReadWord(*stream, word)) {
      // End of the pass.
      passes.store(++passCount, std::memory_order_relaxed);
      if (mode == LoopMode::Count && (passCount >= o.loopCount || !passHadWord)) break;
      if (mode == LoopMode::Timed && clock->NowMicros() >= loopDeadline) break;
      stream->Rewind();
      if (mode != LoopMode::Count && !passHadDelay) {
        int64_t idleUntil = clock->NowMicros() + kIdlePassMicros;
        if (!WaitForDue(idleUntil, /*precise=*/false)) break;
        due = clock->NowMicros();
      }
      passHadWord = passHadDelay = false;
      passStart = true;
      continue;
    }
    passHadWord = true;

    if (shutByTime && clock->NowMicros() > shutDeadline) ShutdownSystem(*shutdown);

    const script::Action action = script::ParseAction(word.View(), *stream);
    if (action.badText) return StopOn(StopReason::Kind::BadText, lineOffset.load());
    switch (action.kind) {
      case script::ActionKind::Delay:
      case script::ActionKind::RandomDelay: {
        if (action.badRange) return StopOn(StopReason::Kind::BadDelayRange, lineOffset.load());
        const int32_t ms = action.kind == script::ActionKind::Delay
                               ? action.delay_ms
                               : draws.Length(action.delay_ms, action.delay_max_ms);
        const int64_t micros = ms > 0 ? draws.Varied(ms) : 0;  // > 0 when ms is: the share is at most half
        if (draws.Drew()) drew.store(true);
        if (micros <= 0) break;
        passHadDelay = true;
        const int64_t scaled = micros * 100 + carry;
        due += scaled / o.speedPercent;
        carry = scaled % o.speedPercent;
        const int64_t now = clock->NowMicros();
        if (now - due > kStallMicros) due = now;  // stalled: go on from here, no burst
        WaitForDue(due);                          // a stop is seen at the top of the loop
        break;
      }
      case script::ActionKind::ConversionError:
        return StopOn(StopReason::Kind::BadCode, lineOffset.load());
      case script::ActionKind::Window:
        if (IDesktop* desktop = sink->Desktop()) {
          if (auto t = TargetOf(action, desktop->System())) {
            pendingWindow = std::move(t);
            pendingOffset = lineOffset.load();
          }
        }
        break;
      case script::ActionKind::WaitWindow:
      case script::ActionKind::WaitColor: {
        if (action.kind == script::ActionKind::WaitColor && action.badColor)
          return StopOn(StopReason::Kind::BadColor, lineOffset.load());
        const int64_t at = lineOffset.load();
        if (action.kind == script::ActionKind::WaitWindow)
          NextWaitIs(WaitProgress::Kind::Window, script::UnquoteToken(action.text[0]), at, LimitOf(action.seconds));
        else
          NextWaitIs(WaitProgress::Kind::Color, Hex6(action.color), at, LimitOf(action.seconds));
        const Looked l = action.kind == script::ActionKind::WaitWindow ? AwaitTitle(action, due)
                                                                       : AwaitColor(action, due);
        if (l == Looked::Stopped) break;  // seen at the top of the loop
        if (l == Looked::TimedOut && LimitOf(action.seconds) > 0) {  // 0: never wait
          const bool w = action.kind == script::ActionKind::WaitWindow;
          return StopOn(w ? StopReason::Kind::WindowTimedOut : StopReason::Kind::ColorTimedOut, at,
                        w ? script::UnquoteToken(action.text[0]) : Hex6(action.color), LimitOf(action.seconds));
        }
        break;
      }
      case script::ActionKind::WaitImage:
      case script::ActionKind::ClickImage: {
        const int64_t at = lineOffset.load();
        const std::string name = script::UnquoteToken(action.text[0]);
        const DesktopRect area = PictureArea(action);
        std::string why;
        Picture* picture = PictureOf(name, area, sink->Screen().Known() || action.hasArea, why);
        if (!picture) {
          if (stopRequested.load()) break;  // stopped while it was prepared
          return StopOn(StopReason::Kind::ImageUnreadable, at, why.empty() ? name : name + "（" + why + "）");
        }
        image::Point found;
        NextWaitIs(WaitProgress::Kind::Image, name, at, LimitOf(action.seconds));
        const Looked l = AwaitImage(action, *picture, area, due, found);
        if (l == Looked::Stopped) break;  // seen at the top of the loop
        if (l == Looked::TimedOut) {
          if (LimitOf(action.seconds) > 0)  // 0: never wait
            return StopOn(StopReason::Kind::ImageTimedOut, at, name, LimitOf(action.seconds));
          break;  // looked once, not there: nothing to click
        }
        if (action.kind == script::ActionKind::ClickImage) {
          if (!CheckForeground(passStart) && o.stopWhenBlocked) return Ending::Blocked;
          passStart = false;
          replayer->ClickAt(found.x + picture->needle->Width() / 2, found.y + picture->needle->Height() / 2);
        }
        break;
      }
      default:
        if (pendingWindow && (IsPointerAction(action.kind) || IsKeyAction(action.kind))) {
          NextWaitIs(WaitProgress::Kind::Window, pendingWindow->title, pendingOffset, options.waitLimitSeconds);
          const Looked l = AwaitWindow(action, due);
          if (l == Looked::Stopped) break;
          if (l == Looked::TimedOut && options.waitLimitSeconds > 0)  // 0: never wait, only follow
            return StopOn(StopReason::Kind::WindowTimedOut, pendingOffset, pendingWindow->title,
                          options.waitLimitSeconds);
          pendingWindow.reset();
        }
        if (action.kind == script::ActionKind::Screen) pendingWindow.reset();
        if (!CheckForeground(passStart) && o.stopWhenBlocked) return Ending::Blocked;
        passStart = false;
        replayer->Replay(action);
        if (action.kind == script::ActionKind::Move) {
          if (auto n = replayer->TakeScreenNotice()) {
            std::lock_guard<std::mutex> l(noticeLock);
            screenNotice = *n;
          }
        }
        break;
    }
  }
  return Ending::Normal;
}

}  // namespace tesmuro::play
