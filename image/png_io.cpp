#include "image/png_io.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "util/file_io.h"

namespace {
// The most one allocation of the decoder may ask for during the decode on
// this thread (0: no decode running, nothing is refused).
thread_local size_t tDecodeBudget = 0;

void* BudgetedMalloc(size_t size) {
  if (tDecodeBudget != 0 && size > tDecodeBudget) return nullptr;
  return std::malloc(size);
}
void* BudgetedRealloc(void* p, size_t size) {
  if (tDecodeBudget != 0 && size > tDecodeBudget) return nullptr;
  return std::realloc(p, size);
}
}  // namespace

// The PNG reader and writer, compiled here once. Files are read and written
// through memory, so that the project's own file calls open them (UTF-8 names
// on every system). The reader's memory comes through the budget above.
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 32768
#define STBI_MALLOC(sz) BudgetedMalloc(sz)
#define STBI_REALLOC(p, newsz) BudgetedRealloc(p, newsz)
#define STBI_FREE(p) std::free(p)
#define STB_IMAGE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>

namespace tesmuro::image {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kHeadBytes = 8 + 8 + 13 + 4;  // signature, IHDR's length, type, data and CRC
// Room for what a file may carry besides its pixels (colour profile, texts).
constexpr uint64_t kMetadataBytes = uint64_t{16} << 20;

uint32_t Be32(const unsigned char* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool Fail(PngProblem kind, const std::string& why, PngProblem* problem, std::string* error) {
  if (problem) *problem = kind;
  if (error) *error = why;
  return false;
}

const char kDamaged[] = "不是可读的 PNG 图像";

// The signature and the header chunk (the first kHeadBytes of a file): the
// picture's size, refused when beyond the limits.
bool ReadHead(std::string_view bytes, const PngLimits& limits, PngHeader& out, PngProblem* problem,
              std::string* error) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < kHeadBytes || std::memcmp(p, kSignature, 8) != 0 || Be32(p + 8) != 13 ||
      std::memcmp(p + 12, "IHDR", 4) != 0)
    return Fail(PngProblem::Damaged, kDamaged, problem, error);
  const uint32_t w = Be32(p + 16), h = Be32(p + 20);
  const unsigned depth = p[24], type = p[25];
  bool depthFits = false;
  switch (type) {
    case 0: depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16; break;
    case 3: depthFits = depth == 1 || depth == 2 || depth == 4 || depth == 8; break;
    case 2: case 4: case 6: depthFits = depth == 8 || depth == 16; break;
    default: break;
  }
  // Sizes beyond 2^31 - 1 are not PNG's.
  if (w == 0 || h == 0 || w > 0x7FFFFFFFu || h > 0x7FFFFFFFu || !depthFits || p[26] != 0 || p[27] != 0 || p[28] > 1)
    return Fail(PngProblem::Damaged, kDamaged, problem, error);
  if (int64_t{w} > limits.maxWidth || int64_t{h} > limits.maxHeight ||
      int64_t{w} * int64_t{h} > limits.maxPixels) {
    return Fail(PngProblem::TooLarge, TooLargeText(w, h, limits), problem, error);
  }
  out.width = static_cast<int32_t>(w);
  out.height = static_cast<int32_t>(h);
  return true;
}

// The most a sound file of a picture of this size takes: its pixels at 16 bits
// a channel, with each row's filter byte, uncompressed (deflate's stored
// blocks add 5 bytes in 65535), and the metadata's room.
uint64_t LargestFile(const PngHeader& h) {
  const uint64_t raw = uint64_t(h.height) * (1 + uint64_t(h.width) * 8);
  return raw + raw / 8192 + kMetadataBytes;
}

}  // namespace

std::string TooLargeText(int64_t width, int64_t height, const PngLimits& limits) {
  return "图像 " + std::to_string(width) + "×" + std::to_string(height) + " 像素，大于查找范围的 " +
         std::to_string(limits.maxWidth) + "×" + std::to_string(limits.maxHeight);
}

std::optional<PngHeader> CheckPng(std::string_view bytes, const PngLimits& limits, PngProblem* problem,
                                  std::string* error) {
  PngHeader h;
  if (!ReadHead(bytes, limits, h, problem, error)) return std::nullopt;
  if (bytes.size() > LargestFile(h)) {
    Fail(PngProblem::Damaged, kDamaged, problem, error);
    return std::nullopt;
  }
  // Every chunk wholly inside the file, the pixels' chunks before the end's.
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t at = 8;
  bool data = false, end = false;
  while (!end) {
    if (bytes.size() - at < 12) break;
    const uint32_t length = Be32(p + at);
    if (length > 0x7FFFFFFFu || length > bytes.size() - at - 12) break;
    const unsigned char* type = p + at + 4;
    if (std::memcmp(type, "IDAT", 4) == 0) data = true;
    if (std::memcmp(type, "IEND", 4) == 0) end = true;
    at += 12 + size_t{length};
  }
  if (!end || !data) {
    Fail(PngProblem::Damaged, kDamaged, problem, error);
    return std::nullopt;
  }
  if (problem) *problem = PngProblem::None;
  return h;
}

std::optional<Image> DecodePng(std::string_view bytes, const PngLimits& limits, PngProblem* problem,
                               std::string* error) {
  const auto header = CheckPng(bytes, limits, problem, error);
  if (!header) return std::nullopt;
  // The file as the decoder gets it: empty data chunks left out (they add
  // nothing to the pixels' stream, and the decoder copies from a null
  // buffer for them), everything after the end chunk dropped.
  std::string clean;
  clean.reserve(bytes.size());
  clean.append(bytes.data(), 8);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  for (size_t at = 8;;) {
    const uint32_t length = Be32(p + at);
    const bool idat = std::memcmp(p + at + 4, "IDAT", 4) == 0;
    if (!(idat && length == 0)) clean.append(bytes.data() + at, 12 + size_t{length});
    if (std::memcmp(p + at + 4, "IEND", 4) == 0) break;
    at += 12 + size_t{length};
  }
  if (clean.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    Fail(PngProblem::TooLarge, kDamaged, problem, error);
    return std::nullopt;
  }
  // One allocation at most: the pixels' stream inflated at 16 bits a channel,
  // twice (the decoder grows its buffers by doubling), or the file's data
  // chunks gathered, twice.
  const uint64_t raw = uint64_t(header->height) * (1 + uint64_t(header->width) * 8);
  const uint64_t budget = 2 * raw + 2 * clean.size() + (uint64_t{1} << 20);
  tDecodeBudget = static_cast<size_t>(std::min<uint64_t>(budget, std::numeric_limits<size_t>::max() / 2));
  int w = 0, h = 0, channels = 0;
  stbi_uc* rgba = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(clean.data()),
                                        static_cast<int>(clean.size()), &w, &h, &channels, 4);
  tDecodeBudget = 0;
  if (!rgba || w != header->width || h != header->height) {
    if (rgba) stbi_image_free(rgba);
    Fail(PngProblem::Damaged, kDamaged, problem, error);
    return std::nullopt;
  }
  Image img(w, h);
  const stbi_uc* q = rgba;
  for (uint32_t& px : img.pixels) {
    px = uint32_t{q[3]} << 24 | uint32_t{q[0]} << 16 | uint32_t{q[1]} << 8 | q[2];
    q += 4;
  }
  stbi_image_free(rgba);
  if (problem) *problem = PngProblem::None;
  return img;
}

std::optional<Image> LoadPng(const std::string& utf8Path, std::string* error, const PngLimits& limits,
                             PngProblem* problem) {
  return LoadPng(OpenFile(utf8Path, "rb"), error, limits, problem);
}

std::optional<Image> LoadPng(std::FILE* file, std::string* error, const PngLimits& limits, PngProblem* problem) {
  if (!file) {
    Fail(PngProblem::Missing, "无法打开文件", problem, error);
    return std::nullopt;
  }
  UniqueFile f(file);
  // The header first: a picture too large is refused before the rest is read,
  // and no more is read than a sound file of its size could take.
  std::string bytes(kHeadBytes, '\0');
  bytes.resize(std::fread(bytes.data(), 1, kHeadBytes, f.get()));
  PngHeader h;
  if (!ReadHead(bytes, limits, h, problem, error)) return std::nullopt;
  const uint64_t most = LargestFile(h);
  char buffer[65536];
  for (;;) {
    const size_t n = std::fread(buffer, 1, sizeof buffer, f.get());
    if (n == 0) break;
    if (bytes.size() + n > most) {
      Fail(PngProblem::Damaged, kDamaged, problem, error);
      return std::nullopt;
    }
    bytes.append(buffer, n);
  }
  if (std::ferror(f.get())) {
    Fail(PngProblem::Missing, "无法读取文件", problem, error);
    return std::nullopt;
  }
  return DecodePng(bytes, limits, problem, error);
}

bool SavePng(const std::string& utf8Path, const Image& img) {
  if (img.Empty() || img.pixels.size() != static_cast<size_t>(img.width) * static_cast<size_t>(img.height))
    return false;
  std::string rgba(img.pixels.size() * 4, '\0');
  unsigned char* q = reinterpret_cast<unsigned char*>(rgba.data());
  for (uint32_t px : img.pixels) {
    q[0] = static_cast<unsigned char>(px >> 16);
    q[1] = static_cast<unsigned char>(px >> 8);
    q[2] = static_cast<unsigned char>(px);
    q[3] = static_cast<unsigned char>(px >> 24);
    q += 4;
  }
  std::string png;
  auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
  };
  if (!stbi_write_png_to_func(append, &png, img.width, img.height, 4, rgba.data(), img.width * 4)) return false;
  return WriteFileAtomically(utf8Path, png);
}

}  // namespace tesmuro::image
