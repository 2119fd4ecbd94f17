// The waits of a run: for the window a window line names, for a title, a
// colour or a picture.
#include "image/png_io.h"
#include "os/desktop.h"
#include "play/run_state.h"
#include "script/script_format.h"

namespace tesmuro::play {

using namespace run_detail;

namespace {
// A picture file's name as a path: a relative name is taken from `folder`
// (empty: the current folder).
std::string PicturePath(const std::string& folder, const std::string& name) {
  const bool absolute = (!name.empty() && (name[0] == '/' || name[0] == '\\')) ||
                        (name.size() >= 2 && name[1] == ':');
  if (absolute || folder.empty()) return name;
  const char last = folder.back();
  return last == '/' || last == '\\' ? folder + name : folder + '/' + name;
}
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
  return Await([&] { return !StepAsideFrom(*desktop, area); }, 1, due) != Looked::Stopped;
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
  if (somewhere && !ClearArea(area, due)) return Looked::Stopped;
  image::Image shot;  // one picture's memory for every look
  auto ready = [&]() -> bool {
    if (!desktop || !somewhere || !desktop->CaptureInto(area, shot)) return false;
    const auto at = image::Find(shot, {area.left, area.top}, picture, wait.tolerance);
    if (at) found = *at;
    return at.has_value();
  };
  return Await(ready, LimitOf(wait.seconds), due, kPictureLookMicros, /*paced=*/true);
}

}  // namespace tesmuro::play
