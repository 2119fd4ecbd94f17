// The window words: 窗口 names the window the next input acts on (it is
// waited for before that input), 等待窗口 waits for a window by its title,
// 等待颜色 for a colour at a point.
#include <limits>
#include <string>

#include "play/word_families.h"
#include "script/script_format.h"

namespace tesmuro::play {

using namespace run_detail;
using Looked = Run::Looked;

namespace {

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

// Asks a window to come to the front while it is not there, again every
// kActivateAgainMicros.
class Fronting {
 public:
  explicit Fronting(IPlayClock& clock) : clock_(clock) {}
  bool AtFront(IDesktop& desktop, uint64_t window) {
    const auto front = desktop.Foreground();
    if (front && front->id == window) return true;
    const int64_t now = clock_.NowMicros();
    if (!activatedAt_ || now - *activatedAt_ >= kActivateAgainMicros) {
      desktop.Activate(window);
      activatedAt_ = now;
    }
    return false;
  }

 private:
  IPlayClock& clock_;
  std::optional<int64_t> activatedAt_;  // when it was last asked to come to the front
};

// The window a line names. The window matched last spares a look at every
// window when it still fits as well as any could, or was the best for a
// line of the same title.
std::optional<TopWindow> FindTarget(WindowState& ws, IDesktop& desktop, const WindowTarget& target) {
  std::optional<TopWindow> w;
  if (ws.lastMatched) {
    w = desktop.Describe(ws.lastMatched);
    if (w && (!w->visible || w->minimized || !SameKind(*w, target) ||
              (TitleCloseness(w->title, target) < std::numeric_limits<int>::max() - 1 &&
               ws.lastMatchedFor != target.title)))
      w.reset();
  }
  if (!w) w = BestMatch(desktop.Windows(), target);
  if (!w) return std::nullopt;
  ws.lastMatched = w->id;
  ws.lastMatchedFor = target.title;
  return w;
}

// The point a pointer action acts on is the window's; one of our own
// windows standing in the way steps aside for the run.
bool PointOnWindow(Run& run, IDesktop& desktop, const script::Action& next, uint64_t window, int32_t dx,
                   int32_t dy) {
  ActionReplayer& r = run.replayer;
  const bool move = next.kind == script::ActionKind::Move;
  if (!move && !r.Moved()) return true;
  int32_t x = move ? next.x : r.RecordedX();
  int32_t y = move ? next.y : r.RecordedY();
  if (run.options.followWindows) {
    x += dx;
    y += dy;
  } else {
    r.PlacePoint(x, y);
  }
  const auto under = desktop.WindowAt(x, y);
  if (under && under->own) {
    run.StepAside(desktop, under->id);
    return false;
  }
  return under && under->id == window;
}

// The window a window line named, for the input action `next`: there, at
// the front for a key, under the point for a pointer action.
Looked AwaitWindow(Run& run, const script::Action& next) {
  IDesktop& desktop = *run.Desktop();
  const WindowTarget& target = *run.windows.pending;
  const bool key = IsKeyAction(next.kind);
  Fronting fronting(run.clock);
  auto ready = [&]() -> bool {
    const std::optional<TopWindow> w = FindTarget(run.windows, desktop, target);
    if (!w) return false;
    const bool follow = run.options.followWindows;
    const int32_t dx = follow ? w->rect.left - target.rect.left : 0;
    const int32_t dy = follow ? w->rect.top - target.rect.top : 0;
    // Found: positions follow it, ready or not (without a wait the action
    // goes on as soon as it was looked at).
    if (follow) run.replayer.Follow(dx, dy);
    if (key) return fronting.AtFront(desktop, w->id);
    return PointOnWindow(run, desktop, next, w->id, dx, dy);
  };
  return run.Await(ready, run.options.waitLimitSeconds);
}

// 窗口: the window the next input acts on (a line for another system, or
// without a desktop, names none).
Step NameWindow(Run& run, const script::Action& action) {
  if (IDesktop* desktop = run.Desktop()) {
    if (auto t = TargetOf(action, desktop->System())) {
      run.windows.pending = std::move(t);
      run.windows.pendingOffset = run.LineStart();
    }
  }
  return Step::Next();
}

// 等待窗口: a window of another program whose title holds `part`, brought to the front.
Step WaitForTitle(Run& run, const script::Action& action) {
  const int64_t at = run.LineStart();
  const std::string part = script::UnquoteToken(action.text[0]);
  const int32_t limit = run.LimitOf(action.seconds);
  run.NextWaitIs(WaitProgress::Kind::Window, part, at, limit);
  IDesktop* desktop = run.Desktop();
  Fronting fronting(run.clock);
  auto ready = [&]() -> bool {
    if (!desktop) return false;
    for (const TopWindow& w : desktop->Windows()) {
      if (!w.visible || w.minimized || w.own || w.title.find(part) == std::string::npos) continue;
      return fronting.AtFront(*desktop, w.id);
    }
    return false;
  };
  // Stopped: the stop is seen before the next word; a limit of 0 never waits.
  if (run.Await(ready, limit) == Looked::TimedOut && limit > 0)
    return run.StopOn(StopReason::Kind::WindowTimedOut, at, part, limit);
  return Step::Next();
}

// 等待颜色: the colour at a point (placed like a move), within the tolerance.
Step WaitForColor(Run& run, const script::Action& action) {
  if (action.badColor) return run.StopOn(StopReason::Kind::BadColor, run.LineStart());
  const int64_t at = run.LineStart();
  const int32_t limit = run.LimitOf(action.seconds);
  run.NextWaitIs(WaitProgress::Kind::Color, Hex6(action.color), at, limit);
  IDesktop* desktop = run.Desktop();
  int32_t x = action.x, y = action.y;
  run.replayer.PlacePoint(x, y);
  if (!run.ClearArea(DesktopRect{x, y, 1, 1})) return Step::Next();  // stopped
  auto ready = [&]() -> bool {
    if (!desktop) return false;
    const auto pixel = desktop->PixelAt(x, y);
    return pixel && ColorsClose(*pixel, action.color, action.tolerance);
  };
  if (run.Await(ready, limit) == Looked::TimedOut && limit > 0)
    return run.StopOn(StopReason::Kind::ColorTimedOut, at, Hex6(action.color), limit);
  return Step::Next();
}

}  // namespace

std::optional<Step> AwaitNamedWindow(Run& run, const script::Action& next) {
  WindowState& ws = run.windows;
  if (!ws.pending || !(IsPointerAction(next.kind) || IsKeyAction(next.kind))) return std::nullopt;
  const int32_t limit = run.options.waitLimitSeconds;
  run.NextWaitIs(WaitProgress::Kind::Window, ws.pending->title, ws.pendingOffset, limit);
  const Looked l = AwaitWindow(run, next);
  if (l == Looked::Stopped) return Step::Next();  // the action is left out; the stop ends the run
  if (l == Looked::TimedOut && limit > 0)          // 0: never wait, only follow
    return run.StopOn(StopReason::Kind::WindowTimedOut, ws.pendingOffset, ws.pending->title, limit);
  ws.pending.reset();
  return std::nullopt;
}

Step PlayWindowWord(Run& run, const script::Action& action) {
  switch (action.kind) {
    case script::ActionKind::Window: return NameWindow(run, action);
    case script::ActionKind::WaitWindow: return WaitForTitle(run, action);
    default: return WaitForColor(run, action);
  }
}

}  // namespace tesmuro::play
