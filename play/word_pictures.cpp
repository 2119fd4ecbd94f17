// The picture words: 等待图像 waits for a picture on the screen, 点击图像
// clicks at its centre once it is there.
#include <string>

#include "image/png_io.h"
#include "play/word_families.h"
#include "script/script_format.h"
#include "util/path.h"

namespace tesmuro::play {

using namespace run_detail;
using Looked = Run::Looked;

namespace {

// A picture file's name as a path: a relative name is taken from `folder`
// (empty: the current folder).
std::string PicturePath(const std::string& folder, const std::string& name) { return ResolvePath(folder, name); }

// Where a picture wait looks, in screen pixels: its area, placed like a move
// (both corners), cut to the screen when its size is known; else the whole
// screen (empty when neither is known).
DesktopRect PictureArea(Run& run, const script::Action& wait) {
  const ScreenRect screen = run.sink.Screen();
  int64_t left = screen.left, top = screen.top;
  int64_t right = left + screen.width, bottom = top + screen.height;
  if (wait.hasArea) {
    int32_t x0 = wait.screen[0], y0 = wait.screen[1];
    int32_t x1 = static_cast<int32_t>(std::clamp<int64_t>(int64_t{x0} + wait.screen[2], INT32_MIN, INT32_MAX));
    int32_t y1 = static_cast<int32_t>(std::clamp<int64_t>(int64_t{y0} + wait.screen[3], INT32_MIN, INT32_MAX));
    run.replayer.PlacePoint(x0, y0);
    run.replayer.PlacePoint(x1, y1);
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

// The picture a wait names, read once per run. Null when it is missing,
// damaged or (with `limited`) larger than `area`, with the reason for the
// user in `why` (empty for a missing file); also null when a stop came
// while it was being prepared.
Picture* PictureOf(Run& run, const std::string& name, const DesktopRect& area, bool limited, std::string& why) {
  const std::string path = PicturePath(run.folder, name);
  image::PngLimits limits;
  if (limited) limits.maxWidth = area.width, limits.maxHeight = area.height;
  auto it = run.pictures.find(path);
  if (it != run.pictures.end()) {
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
  auto img = image::LoadPng(FilesOf(run.options.files).Open(path), &why, limits, &problem);
  if (problem != image::PngProblem::TooLarge) why.clear();
  if (!img) return nullptr;
  auto needle = std::make_unique<const image::Needle>(std::move(*img), &run.shared.stopRequested);
  if (!needle->Complete()) return nullptr;
  return &run.pictures.emplace(path, Picture{std::move(needle), std::nullopt}).first->second;
}

// Where a picture last seen at `last` (its top-left corner) is looked for
// first: its place widened by kNearMargin on each side, within `area`;
// nothing when that is not much smaller than the area.
std::optional<DesktopRect> NearLastPlace(const image::Point& last, int32_t width, int32_t height,
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

// The area can hold the picture at all.
bool Fits(const image::Needle& needle, const DesktopRect& area) {
  return area.width >= needle.Width() && area.height >= needle.Height();
}

// The looks of one picture wait, and what they cost. The looks keep to a
// tenth of the time waited: a look of the whole area is taken when the time
// spent looking so far is at most a tenth of the time since the wait began
// (the first look always). A picture seen before is looked for near its last
// place first: a small capture, taken every kPictureLookMicros while it costs
// at most a twentieth of that (the whole area's looks then get the rest of
// the tenth), else under the same rule.
class PictureLooks {
 public:
  PictureLooks(Run& run, Picture& picture, const DesktopRect& area, int32_t tolerance)
      : clock_(run.clock), desktop_(run.Desktop()), picture_(picture), needle_(*picture.needle), area_(area),
        tolerance_(tolerance), start_(clock_.NowMicros()) {}
  // The picture is in the area this time: found tells where.
  bool Seen() {
    if (!desktop_ || !Fits(needle_, area_)) return false;
    const bool wasFirst = first_;
    bool seen = false;
    if (picture_.lastSeen && (Allowed() || nearCost_ * 20 <= kPictureLookMicros)) {
      if (const auto near = NearLastPlace(*picture_.lastSeen, needle_.Width(), needle_.Height(), area_)) {
        const int64_t before = spent_;
        seen = Look(*near, nearShot_);
        nearCost_ = spent_ - before;
      }
    }
    if (!seen && (wasFirst || Allowed())) seen = Look(area_, shot_);
    first_ = false;
    if (seen) picture_.lastSeen = found;
    return seen;
  }
  image::Point found;  // the picture's top-left corner, in screen pixels

 private:
  bool Allowed() const { return first_ || spent_ * 10 <= clock_.NowMicros() - start_; }
  bool Look(const DesktopRect& where, image::Image& into) {
    const int64_t t0 = clock_.NowMicros();
    bool seen = false;
    if (desktop_->CaptureInto(where, into)) {
      if (const auto at = image::Find(into, {where.left, where.top}, needle_, tolerance_)) {
        found = *at;
        seen = true;
      }
    }
    spent_ += clock_.NowMicros() - t0;
    return seen;
  }

  IPlayClock& clock_;
  IDesktop* desktop_;
  Picture& picture_;
  const image::Needle& needle_;
  const DesktopRect area_;
  const int32_t tolerance_;
  const int64_t start_;
  image::Image shot_, nearShot_;  // one picture's memory for every look
  int64_t spent_ = 0, nearCost_ = 0;
  bool first_ = true;
};

}  // namespace

Step PlayPicture(Run& run, const script::Action& action) {
  const int64_t at = run.LineStart();
  const std::string name = script::UnquoteToken(action.text[0]);
  const DesktopRect area = PictureArea(run, action);
  std::string why;
  Picture* picture = PictureOf(run, name, area, run.sink.Screen().Known() || action.hasArea, why);
  if (!picture) {
    if (run.Stopped()) return Step::Next();  // stopped while it was prepared
    return run.StopOn(StopReason::Kind::ImageUnreadable, at, why.empty() ? name : name + "（" + why + "）");
  }
  const int32_t limit = run.LimitOf(action.seconds);
  run.NextWaitIs(WaitProgress::Kind::Image, name, at, limit);
  // Our own windows step aside before the wait's clock starts.
  if (Fits(*picture->needle, area) && !run.ClearArea(area)) return Step::Next();  // stopped
  PictureLooks looks(run, *picture, area, action.tolerance);
  const Looked l = run.Await([&] { return looks.Seen(); }, limit, kPictureLookMicros);
  if (l == Looked::Stopped) return Step::Next();  // the stop ends the run
  if (l == Looked::TimedOut) {
    if (limit > 0) return run.StopOn(StopReason::Kind::ImageTimedOut, at, name, limit);  // 0: never wait
    return Step::Next();  // looked once, not there: nothing to click
  }
  if (action.kind == script::ActionKind::ClickImage) {
    if (!run.InputMayGo()) return Step::End(RunEnding::Blocked);
    run.replayer.ClickAt(looks.found.x + picture->needle->Width() / 2, looks.found.y + picture->needle->Height() / 2);
  }
  return Step::Next();
}

}  // namespace tesmuro::play
