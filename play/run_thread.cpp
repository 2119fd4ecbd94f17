#include "play/run_thread.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "os/desktop.h"
#include "play/delay_draw.h"
#include "play/run_context.h"
#include "play/run_state.h"

namespace tesmuro::play {

namespace {
// Our windows that stepped aside come back this long after the run's last input.
constexpr int64_t kComeBackMicros = 200000;

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

// Our windows that stepped aside for the run come back.
void ComeBack(Run& run) {
  IDesktop* desktop = run.Desktop();
  if (!desktop || run.windows.steppedAside.empty()) return;
  // Under Wine a mouse message goes to the window under its point when the
  // program it is queued for reads it, not when it was sent: a window of
  // ours back at once could take the release of a click the run ended with.
  run.clock.SleepUntil(run.clock.NowMicros() + kComeBackMicros);
  for (uint64_t w : run.windows.steppedAside) desktop->ComeBack(w);
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

bool TRunThread::Step() {
  State& s = *state_;
  if (!s.started || Finished() || !s.options.debuggable || !s.paused.load()) return false;
  s.stepRequested.store(true);
  Resume();
  return true;
}

std::optional<PauseNotice> TRunThread::TakePauseNotice() {
  std::lock_guard<std::mutex> l(state_->noticeLock);
  return std::exchange(state_->pauseNotice, std::nullopt);
}

void TRunThread::Terminate() {
  state_->stopRequested.store(true);
  state_->Wake();
}

void TRunThread::RequestStop(bool byUser) {
  if (byUser) state_->stoppedByUser.store(true);
  state_->stopRequested.store(true);
  state_->Wake();
}

void TRunThread::UserKeyPressed(Shortcut key) {
  State& s = *state_;
  if (key.Empty() || s.paused.load()) return;
  {
    std::lock_guard<std::mutex> l(s.keyLock);
    if (!s.keyWaitOpen || s.keysPressed.size() >= RunShared::kMaxKeysPressed) return;
    s.keysPressed.push_back(key.code);
  }
  s.Wake();
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

void TRunThread::WaitFor() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TRunThread::State::Main() noexcept {
  RunEnding ending = RunEnding::ConversionError;
  {
    Run run(*this);
    try {
      ending = Play(run);
    } catch (...) {
      // Out of memory or the like: end as after a conversion error, never with a shutdown.
    }
    run.replayer.ReleaseHeld();
    ComeBack(run);
  }
  if (stopReason && file && stopReason->line == 0) stopReason->line = LineAt(file, stopReason->offset);
  if (ending == RunEnding::ScriptStop && stopReason->Unplayable()) ending = RunEnding::ConversionError;
  if (ending != RunEnding::ConversionError) stopRequested.store(true);
  if (ending == RunEnding::ConversionError) failed.store(true);
  if (ending == RunEnding::Blocked) endedBlocked.store(true);
  blocked.store(false);
  if (file) {
    std::fclose(file);
    file = nullptr;
  }
  if (ending == RunEnding::Normal && options.shutAfterLoops && !stoppedByUser.load()) ShutdownSystem(*shutdown);
  finished.store(true, std::memory_order_release);
  ended.set_value();
}

}  // namespace tesmuro::play
