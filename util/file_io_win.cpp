#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

#include <limits>

#include "util/file_io.h"
#include "util/text.h"

namespace tesmuro::detail {
namespace {

std::wstring Wide(const std::string& s) {
  auto u = Utf8ToUtf16(s);
  return std::wstring(u.begin(), u.end());
}

bool StartsWith(const std::wstring& s, const wchar_t* prefix) { return s.rfind(prefix, 0) == 0; }

// The path for the file functions: as given while it is shorter than MAX_PATH,
// else its extended-length form (\\?\C:\... or \\?\UNC\server\share\...), which
// has no such limit on any version of Windows but must be a full path.
std::wstring WidePath(const std::string& utf8) {
  std::wstring w = Wide(utf8);
  if (w.size() < MAX_PATH || StartsWith(w, L"\\\\?\\") || StartsWith(w, L"\\\\.\\")) return w;
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return w;
  full.resize(n);
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// A C stream over a handle; closes the handle when it cannot make one.
std::FILE* StreamOver(HANDLE h, int flags, const char* mode) {
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
  if (fd < 0) {
    CloseHandle(h);
    return nullptr;
  }
  std::FILE* f = _fdopen(fd, mode);
  if (!f) _close(fd);
  return f;
}

bool ReadOnly(const char* mode) {
  if (mode[0] != 'r') return false;
  for (const char* p = mode; *p; ++p)
    if (*p == '+') return false;
  return true;
}

}  // namespace

std::FILE* OpenFilePlatform(const std::string& utf8Path, const char* mode) {
  const std::wstring path = WidePath(utf8Path);
  if (!ReadOnly(mode)) {
    std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
    return _wfopen(path.c_str(), wmode.c_str());
  }
  // Readers share everything, deletion included: a save of the same file
  // (MoveFileEx over it) then works while, say, the player reads it.
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool binary = std::char_traits<char>::find(mode, std::char_traits<char>::length(mode), 'b') != nullptr;
  return StreamOver(h, _O_RDONLY | (binary ? _O_BINARY : _O_TEXT), mode);
}

std::FILE* CreateNewFile(const std::string& utf8Path, bool& exists) {
  HANDLE h = CreateFileW(WidePath(utf8Path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  exists = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
  std::FILE* f = StreamOver(h, _O_WRONLY | _O_BINARY, "wb");
  if (!f && h != INVALID_HANDLE_VALUE) DeleteFileW(WidePath(utf8Path).c_str());
  return f;
}

bool FlushToDisk(std::FILE* f) {
  if (std::fflush(f) != 0) return false;
  HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  return h != INVALID_HANDLE_VALUE && FlushFileBuffers(h);
}

bool MoveIntoPlace(const std::string& tmpPath, const std::string& target) {
  const std::wstring from = WidePath(tmpPath), to = WidePath(target);
  constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (MoveFileExW(from.c_str(), to.c_str(), kReplace)) return true;
  // Windows does not replace a file that is open, even when every handle to it
  // shares deletion (as the player's does): ERROR_ACCESS_DENIED. Such a file
  // can still be renamed, so it moves aside first, then the new one takes its
  // name and the old one is deleted (it goes when its last reader closes it).
  // A read-only target is not replaced this way either.
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(to.c_str());
  if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  const size_t limit = PathLengthLimit(target);
  for (uint32_t attempt = 0; attempt < 16; ++attempt) {
    const std::wstring aside = WidePath(TemporaryPathFor(target, GetTickCount() * 2654435761u + attempt, limit));
    if (!MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    if (!MoveFileExW(from.c_str(), to.c_str(), kReplace)) {
      MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);  // the old file back
      return false;
    }
    DeleteFileW(aside.c_str());
    return true;
  }
  return false;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(WidePath(path).c_str()) != 0; }

size_t PathLengthLimit(const std::string& utf8Path) {
  if (utf8Path.rfind("\\\\?\\", 0) == 0) return std::numeric_limits<size_t>::max();
  return MAX_PATH;
}

}  // namespace tesmuro::detail

namespace tesmuro {

std::FILE* OpenScratchFile() {
  wchar_t dir[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, dir);
  if (n == 0 || n > MAX_PATH) return nullptr;
  wchar_t name[MAX_PATH];
  if (!GetTempFileNameW(dir, L"tsm", 0, name)) return nullptr;
  HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DeleteFileW(name);  // the empty file GetTempFileName made
    return nullptr;
  }
  return detail::StreamOver(h, _O_RDWR | _O_BINARY, "w+b");
}

}  // namespace tesmuro
