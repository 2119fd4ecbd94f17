#include <windows.h>

#include <cstdio>
#include <io.h>

#include "util/file_io.h"
#include "util/text.h"

namespace tesmuro::detail {
namespace {
std::wstring Wide(const std::string& s) {
  auto u = Utf8ToUtf16(s);
  return std::wstring(u.begin(), u.end());
}
}  // namespace

std::FILE* OpenFilePlatform(const std::string& utf8Path, const char* mode) {
  std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(Wide(utf8Path).c_str(), wmode.c_str());
}

bool FlushToDisk(std::FILE* f) {
  if (std::fflush(f) != 0) return false;
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
}

bool MoveIntoPlace(const std::string& tmpPath, const std::string& target) {
  return MoveFileExW(Wide(tmpPath).c_str(), Wide(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }

}  // namespace tesmuro::detail
