// Finding a picture on a screen image.
//
// A place matches when every pixel of the picture that is not fully
// transparent (alpha 0) is within the tolerance of the screen pixel under it,
// on each of red, green and blue (the screen's alpha is never looked at; a
// partly transparent picture pixel is compared by its colour alone). Where
// several places match, the first in reading order counts: the topmost, and
// of those the leftmost.
//
// The search is exact at any tolerance: it finds what a comparison of every
// pixel at every place would find. It is fast because most places fail at
// once: each place is first tried at the picture's most distinctive pixels
// (those of its rarest colours), four neighbouring places at a time with the
// processor's vector instructions where there are any, and a place that
// passes them is compared in full, row by row, up to the first pixel out of
// tolerance.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "image/image.h"
#include "util/rect.h"

namespace tesmuro::image {

// A search's bounds are in the coordinates the caller places the screen image
// in: the common rectangle.
using tesmuro::Rect;

struct Point {
  int32_t x = 0, y = 0;
  bool operator==(const Point&) const = default;
};

// A picture prepared for searching: the pixels it looks at first. Made once
// per picture, used for any number of searches. It keeps the picture and a
// few probes, nothing more per pixel; making one passes over the picture a
// few times, in a few milliseconds for a full screen's.
class Needle {
 public:
  // With `stop`, the preparation looks at it after each row and gives up once
  // it is set: the needle is then not Complete() and finds nothing.
  explicit Needle(Image picture, const std::atomic<bool>* stop = nullptr);

  const Image& Picture() const { return picture_; }
  int32_t Width() const { return picture_.width; }
  int32_t Height() const { return picture_.height; }
  bool Complete() const { return complete_; }

  // A pixel the search tries first: its place in the picture and its colour.
  struct Probe {
    int32_t x = 0, y = 0;
    uint32_t color = 0;
  };
  // The probes, the most distinctive first (none when every pixel is
  // transparent).
  const std::vector<Probe>& Probes() const { return probes_; }

 private:
  Image picture_;
  std::vector<Probe> probes_;
  bool complete_ = false;
};

// The first place, in reading order, where `needle` shows in `screen`, whose
// top-left pixel stands at `origin`, within `tolerance` (0 to 255 per
// channel; values outside are clamped). With `area` (in the same
// coordinates), only places that lie wholly inside it count; an area that
// reaches beyond the screen image is cut to it. The place's top-left corner,
// in those coordinates; nothing when there is none, the picture is empty or
// its preparation was stopped.
std::optional<Point> Find(const Image& screen, Point origin, const Needle& needle, int32_t tolerance,
                          const std::optional<Rect>& area = std::nullopt);

// The same by comparing every pixel at every place, for checking the above.
std::optional<Point> FindPlain(const Image& screen, Point origin, const Image& picture, int32_t tolerance,
                               const std::optional<Rect>& area = std::nullopt);

namespace detail {
// Find() without the vector instructions, as a processor without them runs it.
std::optional<Point> FindWithoutVectors(const Image& screen, Point origin, const Needle& needle, int32_t tolerance,
                                        const std::optional<Rect>& area = std::nullopt);
}  // namespace detail

}  // namespace tesmuro::image
