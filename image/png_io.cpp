#include "image/png_io.h"

#include <cstring>
#include <limits>

#include "util/file_io.h"

// The PNG reader and writer, compiled here once. Files are read and written
// through memory, so that the project's own file calls open them (UTF-8 names
// on every system).
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 32768
#define STB_IMAGE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image.h>
#include <stb_image_write.h>

namespace tesmuro::image {

std::optional<Image> LoadPng(const std::string& utf8Path, std::string* error) {
  std::string bytes;
  if (!ReadWholeFile(utf8Path, bytes)) {
    if (error) *error = "无法打开文件";
    return std::nullopt;
  }
  int w = 0, h = 0, channels = 0;
  const bool small = bytes.size() <= static_cast<size_t>(std::numeric_limits<int>::max());
  stbi_uc* rgba = small ? stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                                                static_cast<int>(bytes.size()), &w, &h, &channels, 4)
                        : nullptr;
  if (!rgba || w <= 0 || h <= 0) {
    if (rgba) stbi_image_free(rgba);
    if (error) *error = "不是可读的 PNG 图像";
    return std::nullopt;
  }
  Image img(w, h);
  const stbi_uc* p = rgba;
  for (uint32_t& px : img.pixels) {
    px = uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    p += 4;
  }
  stbi_image_free(rgba);
  return img;
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
