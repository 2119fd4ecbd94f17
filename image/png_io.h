// PNG files, read and written through a library made for it (stb).
#pragma once

#include <optional>
#include <string>

#include "image/image.h"

namespace tesmuro::image {

// Reads a PNG file (UTF-8 path). Nothing, and `error` (UTF-8, for the user)
// when it is missing or not a PNG.
std::optional<Image> LoadPng(const std::string& utf8Path, std::string* error = nullptr);
// Writes `img` as a PNG with its alpha; false when it cannot be written.
bool SavePng(const std::string& utf8Path, const Image& img);

}  // namespace tesmuro::image
