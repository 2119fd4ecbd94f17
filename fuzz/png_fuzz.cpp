// Feeds arbitrary bytes to the PNG reader as a picture file's contents.
// Checks that it ends, keeps to its limits, agrees with its own header check,
// and that a picture it gives is found in itself at its corner.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "image/match.h"
#include "image/png_io.h"

using namespace tesmuro::image;

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const PngLimits limits{1024, 768, 1024 * 768};
  PngProblem checked = PngProblem::None, decoded = PngProblem::None;
  const auto header = CheckPng(bytes, limits, &checked);
  const auto img = DecodePng(bytes, limits, &decoded);
  Check(header.has_value() == (checked == PngProblem::None));
  if (!header) {
    Check(!img && decoded == checked);
    return 0;
  }
  Check(header->width >= 1 && header->width <= limits.maxWidth && header->height >= 1 &&
        header->height <= limits.maxHeight);
  if (!img) {
    Check(decoded == PngProblem::Damaged);
    return 0;
  }
  Check(decoded == PngProblem::None);
  Check(img->width == header->width && img->height == header->height);
  Check(img->pixels.size() == static_cast<std::size_t>(img->width) * static_cast<std::size_t>(img->height));
  if (img->pixels.size() <= 4096) {
    const Needle needle(*img);
    Check(needle.Complete());
    const auto at = Find(*img, {0, 0}, needle, 0);
    Check(at && at->x == 0 && at->y == 0);
  }
  return 0;
}
