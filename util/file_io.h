// File access with UTF-8 path names, whatever the system's code page.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace tesmuro {

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { if (f) std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// fopen with a UTF-8 path (on Windows through the wide API).
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);

// Reads a whole file in binary; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& utf8Path, std::string& out);

// Writes bytes to a temporary file in the target's folder, flushes it to disk
// and only then puts it in place of the target, so the target is either the
// old file or the complete new one. On failure the target is untouched, the
// temporary file is removed and the result is false.
bool WriteFileAtomically(const std::string& utf8Path, std::string_view bytes);

// Platform halves of the above (file_io_win.cpp / file_io_posix.cpp).
namespace detail {
std::FILE* OpenFilePlatform(const std::string& utf8Path, const char* mode);
bool FlushToDisk(std::FILE* f);
bool MoveIntoPlace(const std::string& tmpPath, const std::string& target);
bool RemoveFile(const std::string& path);
}  // namespace detail

}  // namespace tesmuro
