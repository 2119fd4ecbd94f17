#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <limits>

#include "util/file_io.h"

namespace tesmuro::detail {

std::FILE* OpenFilePlatform(const std::string& utf8Path, const char* mode) {
  return std::fopen(utf8Path.c_str(), mode);
}

std::FILE* CreateNewFile(const std::string& utf8Path, bool& exists) {
  const int fd = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  exists = fd < 0 && errno == EEXIST;
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "wb");
  if (!f) {
    ::close(fd);
    ::unlink(utf8Path.c_str());
  }
  return f;
}

bool FlushToDisk(std::FILE* f) {
  return std::fflush(f) == 0 && fsync(fileno(f)) == 0;
}

bool MoveIntoPlace(const std::string& tmpPath, const std::string& target) {
  return std::rename(tmpPath.c_str(), target.c_str()) == 0;
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

size_t PathLengthLimit(const std::string&) { return std::numeric_limits<size_t>::max(); }

}  // namespace tesmuro::detail

namespace tesmuro {

std::FILE* OpenScratchFile() { return std::tmpfile(); }

}  // namespace tesmuro
