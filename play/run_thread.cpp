#include "play/run_thread.h"

#include <algorithm>
#include <limits>
#include <map>
#include <mutex>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/match.h"
#include "image/png_io.h"
#include "os/desktop.h"
#include "play/replay.h"
#include "play/window_match.h"
#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"

namespace tesmuro::play {

namespace {
constexpr int64_t kMicrosPerSecond = 1000000;
// Behind the schedule by more than this, the schedule restarts from now.
constexpr int64_t kStallMicros = 50000;
// Pause after a pass with no positive delay in the endless modes.
constexpr int64_t kIdlePassMicros = 1000;
// A wait looks at the screen this often.
constexpr int64_t kLookMicros = 20000;
// A wait for a picture looks this often, and never spends more than a tenth
// of the time on its looks: after a look that took longer than a tenth of
// this, it waits nine times as long as the look took.
constexpr int64_t kPictureLookMicros = 50000;
// While a window is waited for to come to the front, it is asked to again
// after this long.
constexpr int64_t kActivateAgainMicros = 500000;

bool IsKeyAction(script::ActionKind k) {
  using K = script::ActionKind;
  return k == K::KeyDown || k == K::KeyUp || k == K::SysKeyDown || k == K::SysKeyUp;
}
bool IsPointerAction(script::ActionKind k) {
  using K = script::ActionKind;
  switch (k) {
    case K::Move: case K::LeftDown: case K::LeftUp: case K::RightDown: case K::RightUp: case K::MiddleDown:
    case K::MiddleUp: case K::X1Down: case K::X1Up: case K::X2Down: case K::X2Up: case K::Wheel: case K::HWheel:
      return true;
    default:
      return false;
  }
}

// Each channel of two 0xRRGGBB colours within `tolerance` of the other.
bool ColorsClose(uint32_t a, uint32_t b, int32_t tolerance) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || -d > tolerance) return false;
  }
  return true;
}

std::string Hex6(uint32_t color) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s(6, '0');
  for (int i = 5; i >= 0; --i, color >>= 4) s[static_cast<size_t>(i)] = kDigits[color & 0xF];
  return s;
}
constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

// `seconds` after `start` on the microsecond clock, or kForever when that lies
// beyond the clock's range.
int64_t SecondsAfter(int64_t start, int64_t seconds) {
  if (seconds > (kForever - std::max<int64_t>(start, 0)) / kMicrosPerSecond) return kForever;
  return start + seconds * kMicrosPerSecond;
}

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

// A picture file's name as a path: a relative name is taken from `folder`
// (empty: the current folder).
std::string PicturePath(const std::string& folder, const std::string& name) {
  const bool absolute = (!name.empty() && (name[0] == '/' || name[0] == '\\')) ||
                        (name.size() >= 2 && name[1] == ':');
  if (absolute || folder.empty()) return name;
  const char last = folder.back();
  return last == '/' || last == '\\' ? folder + name : folder + '/' + name;
}

// A reference that the run may keep: it owns nothing.
template <class T>
std::shared_ptr<T> Unowned(T& object) {
  return std::shared_ptr<T>(std::shared_ptr<T>(), &object);
}
}  // namespace

// Everything the thread touches. The object and the thread each hold it; the
// settings are the run's own copies, taken at the start.
struct TRunThread::State {
  State(std::shared_ptr<IInputSink> s, std::shared_ptr<IShutdownRequester> sd, std::unique_ptr<IPlayClock> c)
      : sink(std::move(s)), shutdown(std::move(sd)), clock(std::move(c)) {}

  enum class Ending { Normal, ConversionError, Blocked, ScriptStop };
  void Main() noexcept;
  Ending Play();
  // Pauses here while a pause is requested, moving `due` on by the time paused.
  // False when a stop is requested.
  bool HonourPause(int64_t& due);
  // Waits until `due` (honouring pause), to the clock's best precision or,
  // when nothing is due then, without spending the processor on it. False
  // when a stop is requested.
  bool WaitForDue(int64_t& due, bool precise = true);
  // Looks with `ready` until it says yes, every kLookMicros, for at most
  // `seconds` (0 or less: one look). A wait moves `due`, and so every later
  // action, back by its own length. Pause and stop act within a look.
  // With `paced`, a look that takes long is followed by nine times as long
  // without one (it never spends more than a tenth of the time looking).
  enum class Looked { Ready, Stopped, TimedOut };
  Looked Await(const std::function<bool()>& ready, int32_t seconds, int64_t& due,
               int64_t lookMicros = kLookMicros, bool paced = false);
  // The waits before an action: its window, if a window line named one, or
  // what a wait word asks. Ready: the action may go.
  Looked AwaitWindow(const script::Action& next, int64_t& due);
  Looked AwaitTitle(const script::Action& wait, int64_t& due);
  Looked AwaitColor(const script::Action& wait, int64_t& due);
  // Waits for the picture on the screen or in the wait's area: where it was
  // found, in screen pixels (its top-left corner).
  Looked AwaitImage(const script::Action& wait, const image::Needle& picture, int64_t& due, image::Point& found);
  // The picture a wait names, loaded once per run; null when it cannot be read.
  const image::Needle* PictureOf(const std::string& name);
  // The run stops on its script: why, where.
  Ending StopOn(StopReason::Kind kind, int64_t offset, std::string what = {}, int32_t seconds = 0);
  int32_t LimitOf(int32_t seconds) const { return seconds > 0 ? seconds : options.waitLimitSeconds; }
  void Wake() { clock->Wake(); }

  const std::shared_ptr<IInputSink> sink;
  const std::shared_ptr<IShutdownRequester> shutdown;
  const std::unique_ptr<IPlayClock> clock;
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> stoppedByUser{false};
  std::atomic<bool> started{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> finished{false};
  std::atomic<int64_t> passes{0};
  std::atomic<int64_t> lineOffset{-1};  // start of the line being played
  std::promise<void> ended;

  // The run's script and its copy of the options (written before the thread starts).
  std::FILE* file = nullptr;
  RunOptions options;
  std::atomic<bool> failed{false};
  std::atomic<bool> blocked{false};
  std::atomic<bool> endedBlocked{false};
  std::mutex noticeLock;
  std::optional<ScreenNotice> screenNotice;  // guarded by noticeLock
  std::optional<StopReason> stopReason;      // set before `finished`

  // The window the next action acts on, as its line named it, and where that
  // line is; the last window matched, looked at first next time.
  std::optional<WindowTarget> pendingWindow;
  int64_t pendingOffset = -1;
  uint64_t lastMatched = 0;
  std::string lastMatchedFor;  // the title of the line it was matched for
  std::vector<uint64_t> steppedAside;  // our own windows, back when the run ends
  // The pictures the waits named, by path (null: not readable).
  std::map<std::string, std::unique_ptr<const image::Needle>> pictures;

  // The foreground window last looked at, and whether it takes our input.
  uint64_t foreground = 0;
  bool foregroundKnown = false;
  // Looks at the foreground window when `force` or when it changed; true
  // when the input reaches it.
  bool CheckForeground(bool force);

  ActionReplayer* replayer = nullptr;  // the run's, while it plays (player thread only)
};

TRunThread::TRunThread()
    : TRunThread(Unowned(SystemInputSink()), Unowned(SystemShutdownRequester()), CreateSystemPlayClock()) {}

TRunThread::TRunThread(IInputSink& sink, IShutdownRequester& shutdown, std::unique_ptr<IPlayClock> clock)
    : TRunThread(Unowned(sink), Unowned(shutdown), std::move(clock)) {}

TRunThread::TRunThread(std::shared_ptr<IInputSink> sink, std::shared_ptr<IShutdownRequester> shutdown,
                       std::unique_ptr<IPlayClock> clock)
    : state_(std::make_shared<State>(std::move(sink), std::move(shutdown), std::move(clock))),
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

std::optional<ScreenNotice> TRunThread::TakeScreenNotice() {
  std::lock_guard<std::mutex> l(state_->noticeLock);
  auto n = state_->screenNotice;
  state_->screenNotice.reset();
  return n;
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

TRunThread::State::Ending TRunThread::State::StopOn(StopReason::Kind kind, int64_t offset, std::string what,
                                                   int32_t seconds) {
  StopReason r;
  r.kind = kind;
  r.offset = std::max<int64_t>(offset, 0);
  r.what = std::move(what);
  r.seconds = seconds;
  stopReason = std::move(r);
  return Ending::ScriptStop;
}

TRunThread::State::Looked TRunThread::State::Await(const std::function<bool()>& ready, int32_t seconds,
                                                   int64_t& due, int64_t lookMicros, bool paced) {
  const int64_t start = clock->NowMicros();
  if (ready()) return Looked::Ready;
  if (seconds <= 0) return Looked::TimedOut;
  // The limit counts the time spent waiting, not the time paused.
  int64_t deadline = SecondsAfter(start, seconds);
  int64_t lookCost = paced ? clock->NowMicros() - start : 0;
  for (;;) {
    if (!HonourPause(deadline)) return Looked::Stopped;
    const int64_t now = clock->NowMicros();
    if (now >= deadline) return Looked::TimedOut;
    clock->WaitUntil(std::min(now + std::max(lookMicros - lookCost, 9 * lookCost), deadline));
    if (stopRequested.load()) return Looked::Stopped;
    if (paused.load()) continue;
    const int64_t lookStart = paced ? clock->NowMicros() : 0;
    if (ready()) {
      due += clock->NowMicros() - start;
      return Looked::Ready;
    }
    if (paced) lookCost = clock->NowMicros() - lookStart;
  }
}

TRunThread::State::Looked TRunThread::State::AwaitWindow(const script::Action& next, int64_t& due) {
  IDesktop& desktop = *sink->Desktop();
  const WindowTarget& target = *pendingWindow;
  const bool key = IsKeyAction(next.kind);
  std::optional<int64_t> activatedAt;  // when it was last asked to come to the front
  auto ready = [&]() -> bool {
    // The window matched last spares a look at every window when it still
    // fits as well as any could, or was the best for a line of the same title.
    std::optional<TopWindow> w;
    if (lastMatched) {
      w = desktop.Describe(lastMatched);
      if (w && (!w->visible || w->minimized || !SameKind(*w, target) ||
                (TitleCloseness(w->title, target) < std::numeric_limits<int>::max() - 1 &&
                 lastMatchedFor != target.title)))
        w.reset();
    }
    if (!w) w = BestMatch(desktop.Windows(), target);
    if (!w) return false;
    lastMatched = w->id;
    lastMatchedFor = target.title;
    const int32_t dx = options.followWindows ? w->rect.left - target.rect.left : 0;
    const int32_t dy = options.followWindows ? w->rect.top - target.rect.top : 0;
    // Found: positions follow it, ready or not (without a wait the action
    // goes on as soon as it was looked at).
    if (options.followWindows) replayer->Follow(dx, dy);
    if (key) {
      const auto front = desktop.Foreground();
      if (front && front->id == w->id) return true;
      const int64_t now = clock->NowMicros();
      if (!activatedAt || now - *activatedAt >= kActivateAgainMicros) {
        desktop.Activate(w->id);
        activatedAt = now;
      }
      return false;
    }
    // The point the action acts on must be the window's.
    if (next.kind == script::ActionKind::Move || replayer->Moved()) {
      int32_t x = next.kind == script::ActionKind::Move ? next.x : replayer->RecordedX();
      int32_t y = next.kind == script::ActionKind::Move ? next.y : replayer->RecordedY();
      if (options.followWindows) {
        x += dx;
        y += dy;
      } else {
        replayer->PlacePoint(x, y);
      }
      const auto under = desktop.WindowAt(x, y);
      if (under && under->own) {
        // One of our own windows stands in the way: it steps aside for the run.
        desktop.StepAside(under->id);
        if (std::find(steppedAside.begin(), steppedAside.end(), under->id) == steppedAside.end())
          steppedAside.push_back(under->id);
        return false;
      }
      if (!under || under->id != w->id) return false;
    }
    return true;
  };
  return Await(ready, options.waitLimitSeconds, due);
}

TRunThread::State::Looked TRunThread::State::AwaitTitle(const script::Action& wait, int64_t& due) {
  IDesktop* desktop = sink->Desktop();
  const std::string part = script::UnquoteToken(wait.text[0]);
  std::optional<int64_t> activatedAt;  // when it was last asked to come to the front
  auto ready = [&]() -> bool {
    if (!desktop) return false;
    for (const TopWindow& w : desktop->Windows()) {
      if (!w.visible || w.minimized || w.own || w.title.find(part) == std::string::npos) continue;
      const auto front = desktop->Foreground();
      if (front && front->id == w.id) return true;
      const int64_t now = clock->NowMicros();
      if (!activatedAt || now - *activatedAt >= kActivateAgainMicros) {
        desktop->Activate(w.id);
        activatedAt = now;
      }
      return false;
    }
    return false;
  };
  return Await(ready, LimitOf(wait.seconds), due);
}

TRunThread::State::Looked TRunThread::State::AwaitColor(const script::Action& wait, int64_t& due) {
  IDesktop* desktop = sink->Desktop();
  int32_t x = wait.x, y = wait.y;
  replayer->PlacePoint(x, y);
  auto ready = [&]() -> bool {
    if (!desktop) return false;
    const auto pixel = desktop->PixelAt(x, y);
    return pixel && ColorsClose(*pixel, wait.color, wait.tolerance);
  };
  return Await(ready, LimitOf(wait.seconds), due);
}

const image::Needle* TRunThread::State::PictureOf(const std::string& name) {
  const std::string path = PicturePath(options.scriptFolder, name);
  auto it = pictures.find(path);
  if (it == pictures.end()) {
    std::unique_ptr<const image::Needle> needle;
    if (auto img = image::LoadPng(path)) needle = std::make_unique<const image::Needle>(std::move(*img));
    it = pictures.emplace(path, std::move(needle)).first;
  }
  return it->second.get();
}

TRunThread::State::Looked TRunThread::State::AwaitImage(const script::Action& wait, const image::Needle& picture,
                                                        int64_t& due, image::Point& found) {
  IDesktop* desktop = sink->Desktop();
  // Where to look: the wait's area, placed like a move (both corners), cut
  // to the screen when its size is known; else the whole screen.
  const ScreenRect screen = sink->Screen();
  int64_t left = screen.left, top = screen.top;
  int64_t right = left + screen.width, bottom = top + screen.height;
  if (wait.hasArea) {
    int32_t x0 = wait.screen[0], y0 = wait.screen[1];
    int32_t x1 = static_cast<int32_t>(std::clamp<int64_t>(int64_t{x0} + wait.screen[2], INT32_MIN, INT32_MAX));
    int32_t y1 = static_cast<int32_t>(std::clamp<int64_t>(int64_t{y0} + wait.screen[3], INT32_MIN, INT32_MAX));
    replayer->PlacePoint(x0, y0);
    replayer->PlacePoint(x1, y1);
    if (screen.Known()) {
      left = std::max<int64_t>(left, x0), top = std::max<int64_t>(top, y0);
      right = std::min<int64_t>(right, x1), bottom = std::min<int64_t>(bottom, y1);
    } else {
      left = x0, top = y0, right = x1, bottom = y1;
    }
  }
  const bool somewhere = right - left >= picture.Width() && bottom - top >= picture.Height();
  const DesktopRect area{static_cast<int32_t>(left), static_cast<int32_t>(top),
                         static_cast<int32_t>(std::min<int64_t>(right - left, INT32_MAX)),
                         static_cast<int32_t>(std::min<int64_t>(bottom - top, INT32_MAX))};
  image::Image shot;  // one picture's memory for every look
  auto ready = [&]() -> bool {
    if (!desktop || !somewhere || !desktop->CaptureInto(area, shot)) return false;
    const auto at = image::Find(shot, {area.left, area.top}, picture, wait.tolerance);
    if (at) found = *at;
    return at.has_value();
  };
  return Await(ready, LimitOf(wait.seconds), due, kPictureLookMicros, /*paced=*/true);
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
  if (IDesktop* desktop = sink->Desktop()) {
    for (uint64_t w : steppedAside) desktop->ComeBack(w);
  }
  if (stopReason && file) stopReason->line = LineAt(file, stopReason->offset);
  if (ending == Ending::ScriptStop && (stopReason->kind == StopReason::Kind::BadCode ||
                                       stopReason->kind == StopReason::Kind::BadColor ||
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
  // to the next delay, so the schedule keeps exact time at any speed.
  int64_t carry = 0;
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
    switch (action.kind) {
      case script::ActionKind::Delay: {
        if (action.delay_ms <= 0) break;
        passHadDelay = true;
        const int64_t scaled = int64_t{action.delay_ms} * 1000 * 100 + carry;
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
        const image::Needle* picture = PictureOf(name);
        if (!picture) return StopOn(StopReason::Kind::ImageUnreadable, at, name);
        image::Point found;
        const Looked l = AwaitImage(action, *picture, due, found);
        if (l == Looked::Stopped) break;  // seen at the top of the loop
        if (l == Looked::TimedOut) {
          if (LimitOf(action.seconds) > 0)  // 0: never wait
            return StopOn(StopReason::Kind::ImageTimedOut, at, name, LimitOf(action.seconds));
          break;  // looked once, not there: nothing to click
        }
        if (action.kind == script::ActionKind::ClickImage) {
          if (!CheckForeground(passStart) && o.stopWhenBlocked) return Ending::Blocked;
          passStart = false;
          replayer->ClickAt(found.x + picture->Width() / 2, found.y + picture->Height() / 2);
        }
        break;
      }
      default:
        if (pendingWindow && (IsPointerAction(action.kind) || IsKeyAction(action.kind))) {
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
