// PNG files, read and written through a library made for it (stb).
//
// Picture files travel with shared scripts, so the reader meets files nobody
// here made. Before the library sees a byte, the file's chunks are walked:
// the header must be sound and the picture within the size the caller allows,
// every chunk must lie wholly inside the file, and a picture that fits on a
// screen has no business being hundreds of megabytes. Empty data chunks are
// left out (the library mishandles them), and while it decodes, no single
// allocation may exceed what a picture of the header's size needs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "image/image.h"

namespace tesmuro::image {

// The largest picture a caller allows. The default: a side of at most 32768
// pixels and 2^27 pixels in all (512 MB decoded), far more than any screen.
struct PngLimits {
  int64_t maxWidth = 32768;
  int64_t maxHeight = 32768;
  int64_t maxPixels = int64_t{1} << 27;
};

// What the user is told of a picture of w x h refused for `limits`.
std::string TooLargeText(int64_t width, int64_t height, const PngLimits& limits);

// Why a file was not read.
enum class PngProblem { None, Missing, Damaged, TooLarge };

// What a PNG's header says, once its chunks have been walked.
struct PngHeader {
  int32_t width = 0;
  int32_t height = 0;
};

// Walks the chunks of a PNG in memory without decoding any pixel: the
// picture's size, or nothing with the problem (Damaged or TooLarge) and, in
// `error`, a reason for the user (UTF-8).
std::optional<PngHeader> CheckPng(std::string_view bytes, const PngLimits& limits = {},
                                  PngProblem* problem = nullptr, std::string* error = nullptr);

// Decodes a PNG in memory after CheckPng has accepted it.
std::optional<Image> DecodePng(std::string_view bytes, const PngLimits& limits = {},
                               PngProblem* problem = nullptr, std::string* error = nullptr);

// Reads a PNG file (UTF-8 path). Nothing, with the problem and `error` (UTF-8,
// for the user), when it is missing, damaged or larger than `limits`; a file
// far larger than its header's picture could need is not read in full.
std::optional<Image> LoadPng(const std::string& utf8Path, std::string* error = nullptr,
                             const PngLimits& limits = {}, PngProblem* problem = nullptr);

// The same from a file opened for reading in binary, which it closes; a
// null file is a missing one.
std::optional<Image> LoadPng(std::FILE* file, std::string* error = nullptr, const PngLimits& limits = {},
                             PngProblem* problem = nullptr);

// Writes `img` as a PNG with its alpha; false when it cannot be written.
bool SavePng(const std::string& utf8Path, const Image& img);

}  // namespace tesmuro::image
