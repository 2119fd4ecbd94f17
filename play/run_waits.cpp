// The waits of a run: for the window a window line names, for a title, a
// colour or a picture.
#include "image/png_io.h"
#include "os/desktop.h"
#include "play/run_state.h"
#include "script/script_format.h"
#include "util/path.h"

namespace tesmuro::play {

using namespace run_detail;

namespace {
// A picture file's name as a path: a relative name is taken from `folder`
// (empty: the current folder).
std::string PicturePath(const std::string& folder, const std::string& name) { return ResolvePath(folder, name); }
}  // namespace

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
                                                   int64_t& due, int64_t lookMicros) {
  // What the wait was for is shown only while it waits.
  struct Over {
    State& s;
    ~Over() {
      s.nextWait.reset();
      std::lock_guard<std::mutex> l(s.noticeLock);
      s.waitShown.reset();
    }
  } over{*this};
  const int64_t start = clock->NowMicros();
  if (ready()) return Looked::Ready;
  if (seconds <= 0) return Looked::TimedOut;
  // The limit counts the time spent waiting, not the time paused.
  int64_t deadline = SecondsAfter(start, seconds);
  for (;;) {
    if (!HonourPause(deadline)) return Looked::Stopped;
    const int64_t now = clock->NowMicros();
    if (now >= deadline) return Looked::TimedOut;
    // Whole seconds waited: the limit less what is left of it.
    const int64_t left = deadline == kForever ? seconds * kMicrosPerSecond : deadline - now;
    ShowWaited(static_cast<int32_t>(std::clamp<int64_t>(seconds - (left + kMicrosPerSecond - 1) / kMicrosPerSecond,
                                                        0, seconds)));
    clock->WaitUntil(std::min(now + lookMicros, deadline));
    if (stopRequested.load()) return Looked::Stopped;
    if (paused.load()) continue;
    if (ready()) {
      due += clock->NowMicros() - start;
      return Looked::Ready;
    }
  }
}

bool TRunThread::State::StepAsideFrom(IDesktop& desktop, const DesktopRect& area) {
  bool inTheWay = false;
  for (const TopWindow& w : desktop.Windows()) {
    if (!w.own || !w.visible || w.minimized) continue;
    const DesktopRect& r = w.rect;
    if (int64_t{r.left} + r.width <= area.left || int64_t{area.left} + area.width <= r.left ||
        int64_t{r.top} + r.height <= area.top || int64_t{area.top} + area.height <= r.top)
      continue;
    desktop.StepAside(w.id);
    if (std::find(steppedAside.begin(), steppedAside.end(), w.id) == steppedAside.end()) steppedAside.push_back(w.id);
    inTheWay = true;
  }
  return inTheWay;
}

bool TRunThread::State::ClearArea(const DesktopRect& area, int64_t& due) {
  IDesktop* desktop = sink->Desktop();
  if (!desktop || !StepAsideFrom(*desktop, area)) return true;
  // Not a wait of the script's: what the caller waits for stays to be shown.
  std::optional<WaitProgress> shown = std::move(nextWait);
  const bool stopped = Await([&] { return !StepAsideFrom(*desktop, area); }, 1, due) == Looked::Stopped;
  nextWait = std::move(shown);
  return !stopped;
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
  if (!ClearArea(DesktopRect{x, y, 1, 1}, due)) return Looked::Stopped;
  auto ready = [&]() -> bool {
    if (!desktop) return false;
    const auto pixel = desktop->PixelAt(x, y);
    return pixel && ColorsClose(*pixel, wait.color, wait.tolerance);
  };
  return Await(ready, LimitOf(wait.seconds), due);
}

DesktopRect TRunThread::State::PictureArea(const script::Action& wait) {
  // The wait's area, placed like a move (both corners), cut to the screen
  // when its size is known; else the whole screen.
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
  return {static_cast<int32_t>(left), static_cast<int32_t>(top),
          static_cast<int32_t>(std::clamp<int64_t>(right - left, 0, INT32_MAX)),
          static_cast<int32_t>(std::clamp<int64_t>(bottom - top, 0, INT32_MAX))};
}

TRunThread::State::Picture* TRunThread::State::PictureOf(const std::string& name, const DesktopRect& area,
                                                         bool limited, std::string& why) {
  const std::string path = PicturePath(options.scriptFolder, name);
  image::PngLimits limits;
  if (limited) limits.maxWidth = area.width, limits.maxHeight = area.height;
  auto it = pictures.find(path);
  if (it != pictures.end()) {
    const image::Needle& n = *it->second.needle;
    if (n.Width() > limits.maxWidth || n.Height() > limits.maxHeight) {
      why = image::TooLargeText(n.Width(), n.Height(), limits);
      return nullptr;
    }
    return &it->second;
  }
  // Refused from its header when it cannot fit where it is looked for; a
  // stop during the preparation leaves nothing behind.
  // A missing or damaged file is named alone; one too large says so.
  image::PngProblem problem = image::PngProblem::None;
  auto img = image::LoadPng(path, &why, limits, &problem);
  if (problem != image::PngProblem::TooLarge) why.clear();
  if (!img) return nullptr;
  auto needle = std::make_unique<const image::Needle>(std::move(*img), &stopRequested);
  if (!needle->Complete()) return nullptr;
  return &pictures.emplace(path, Picture{std::move(needle), std::nullopt}).first->second;
}

std::optional<DesktopRect> run_detail::NearLastPlace(const image::Point& last, int32_t width, int32_t height,
                                         const DesktopRect& area) {
  const int64_t l = std::max<int64_t>(int64_t{last.x} - kNearMargin, area.left);
  const int64_t t = std::max<int64_t>(int64_t{last.y} - kNearMargin, area.top);
  const int64_t r = std::min<int64_t>(int64_t{last.x} + width + kNearMargin, int64_t{area.left} + area.width);
  const int64_t b = std::min<int64_t>(int64_t{last.y} + height + kNearMargin, int64_t{area.top} + area.height);
  if (r - l < width || b - t < height) return std::nullopt;
  // Only worth it when it is a good deal smaller than the area itself.
  if ((r - l) * (b - t) * 2 > int64_t{area.width} * area.height) return std::nullopt;
  return DesktopRect{static_cast<int32_t>(l), static_cast<int32_t>(t), static_cast<int32_t>(r - l),
                     static_cast<int32_t>(b - t)};
}

TRunThread::State::Looked TRunThread::State::AwaitImage(const script::Action& wait, Picture& picture,
                                                        const DesktopRect& area, int64_t& due,
                                                        image::Point& found) {
  IDesktop* desktop = sink->Desktop();
  const image::Needle& needle = *picture.needle;
  const bool somewhere = area.width >= needle.Width() && area.height >= needle.Height();
  if (somewhere && !ClearArea(area, due)) return Looked::Stopped;
  image::Image shot, nearShot;  // one picture's memory for every look
  // The looks keep to a tenth of the time waited: a look of the whole area
  // is taken when the time spent looking so far is at most a tenth of the
  // time since the wait began (the first look always). A picture seen before
  // is looked for near its last place first: a small capture, taken every
  // 50 ms while it costs at most a twentieth of that (the whole area's looks
  // then get the rest of the tenth), else under the same rule.
  const int64_t start = clock->NowMicros();
  int64_t spent = 0, nearCost = 0;
  bool first = true;
  auto look = [&](const DesktopRect& where, image::Image& into) -> bool {
    const int64_t t0 = clock->NowMicros();
    bool seen = false;
    if (desktop->CaptureInto(where, into)) {
      if (const auto at = image::Find(into, {where.left, where.top}, needle, wait.tolerance)) {
        found = *at;
        seen = true;
      }
    }
    spent += clock->NowMicros() - t0;
    return seen;
  };
  auto allowed = [&] { return first || spent * 10 <= clock->NowMicros() - start; };
  auto ready = [&]() -> bool {
    if (!desktop || !somewhere) return false;
    const bool wasFirst = first;
    bool seen = false;
    if (picture.lastSeen && (allowed() || nearCost * 20 <= kPictureLookMicros)) {
      if (const auto near = NearLastPlace(*picture.lastSeen, needle.Width(), needle.Height(), area)) {
        const int64_t before = spent;
        seen = look(*near, nearShot);
        nearCost = spent - before;
      }
    }
    if (!seen && (wasFirst || allowed())) seen = look(area, shot);
    first = false;
    if (seen) picture.lastSeen = found;
    return seen;
  };
  return Await(ready, LimitOf(wait.seconds), due, kPictureLookMicros);
}

}  // namespace tesmuro::play
