#include <cstdio>
#include <unistd.h>

#include "util/file_io.h"

namespace tesmuro::detail {

std::FILE* OpenFilePlatform(const std::string& utf8Path, const char* mode) {
  return std::fopen(utf8Path.c_str(), mode);
}

bool FlushToDisk(std::FILE* f) {
  return std::fflush(f) == 0 && fsync(fileno(f)) == 0;
}

bool MoveIntoPlace(const std::string& tmpPath, const std::string& target) {
  return std::rename(tmpPath.c_str(), target.c_str()) == 0;
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

}  // namespace tesmuro::detail
