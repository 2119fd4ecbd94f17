// What every wait of a run shares: the looks until something comes, the
// wait display, our own windows stepping aside.
#include <mutex>

#include "play/run_context.h"

namespace tesmuro::play {

using namespace run_detail;

Run::Looked Run::Await(const std::function<bool()>& ready, int32_t seconds, int64_t lookMicros) {
  // What the wait was for is shown only while it waits.
  struct Over {
    Run& r;
    ~Over() {
      r.nextWait_.reset();
      std::lock_guard<std::mutex> l(r.shared.noticeLock);
      r.shared.waitShown.reset();
    }
  } over{*this};
  const int64_t start = clock.NowMicros();
  if (ready()) return Looked::Ready;
  if (seconds <= 0) return Looked::TimedOut;
  // The limit counts the time spent waiting, not the time paused.
  int64_t deadline = SecondsAfter(start, seconds);
  for (;;) {
    if (!HonourPause(deadline)) return Looked::Stopped;
    const int64_t now = clock.NowMicros();
    if (now >= deadline) return Looked::TimedOut;
    // Whole seconds waited: the limit less what is left of it.
    const int64_t left = deadline == kForever ? seconds * kMicrosPerSecond : deadline - now;
    ShowWaited(static_cast<int32_t>(std::clamp<int64_t>(seconds - (left + kMicrosPerSecond - 1) / kMicrosPerSecond,
                                                        0, seconds)));
    clock.WaitUntil(std::min(now + lookMicros, deadline));
    tookTime = true;
    if (Stopped()) return Looked::Stopped;
    if (shared.paused.load()) continue;
    if (ready()) {
      schedule.due += clock.NowMicros() - start;
      return Looked::Ready;
    }
  }
}

void Run::NextWaitIs(WaitProgress::Kind kind, std::string what, int64_t offset, int32_t limit) {
  nextWait_ = WaitProgress{kind, std::move(what), 0, 0, limit};
  nextWait_->line = LineOf(std::max<int64_t>(offset, 0));
}

void Run::ShowWaited(int32_t seconds) {
  if (!nextWait_) return;
  std::lock_guard<std::mutex> l(shared.noticeLock);
  if (shared.waitShown && shared.waitShown->elapsed == seconds) return;
  shared.waitShown = *nextWait_;
  shared.waitShown->elapsed = seconds;
}

int64_t Run::LineOf(int64_t offset) {
  if (!file) return 0;
  if (!calls.empty()) offset = LineStart();  // a called script's line shows as its 调用's
  if (offset < counted_.offset) counted_ = {};
  const long keep = std::ftell(file);
  if (keep < 0 || std::fseek(file, static_cast<long>(counted_.offset), SEEK_SET) != 0) return 0;
  char buf[4096];
  while (counted_.offset < offset) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(sizeof buf, offset - counted_.offset));
    const size_t got = std::fread(buf, 1, want, file);
    if (got == 0) break;
    for (size_t i = 0; i < got; ++i) {
      const int c = static_cast<unsigned char>(buf[i]);
      if (c == '\n' ? counted_.prev != '\r' : c == '\r') ++counted_.line;
      counted_.prev = c;
    }
    counted_.offset += static_cast<int64_t>(got);
  }
  std::fseek(file, keep, SEEK_SET);  // the script's reader goes on where it was
  return counted_.line;
}

void Run::StepAside(IDesktop& desktop, uint64_t window) {
  desktop.StepAside(window);
  std::vector<uint64_t>& aside = windows.steppedAside;
  if (std::find(aside.begin(), aside.end(), window) == aside.end()) aside.push_back(window);
}

bool Run::StepAsideFrom(IDesktop& desktop, const DesktopRect& area) {
  bool inTheWay = false;
  for (const TopWindow& w : desktop.Windows()) {
    if (!w.own || !w.visible || w.minimized) continue;
    const DesktopRect& r = w.rect;
    if (int64_t{r.left} + r.width <= area.left || int64_t{area.left} + area.width <= r.left ||
        int64_t{r.top} + r.height <= area.top || int64_t{area.top} + area.height <= r.top)
      continue;
    StepAside(desktop, w.id);
    inTheWay = true;
  }
  return inTheWay;
}

bool Run::ClearArea(const DesktopRect& area) {
  IDesktop* desktop = Desktop();
  if (!desktop || !StepAsideFrom(*desktop, area)) return true;
  // Not a wait of the script's: what the caller waits for stays to be shown.
  std::optional<WaitProgress> shown = std::move(nextWait_);
  const bool stopped = Await([&] { return !StepAsideFrom(*desktop, area); }, 1) == Looked::Stopped;
  nextWait_ = std::move(shown);
  return !stopped;
}

}  // namespace tesmuro::play
