#include "app/recovery_store_win.h"

#include <shlobj.h>

#include <algorithm>
#include <vector>

namespace tesmuro::win {
namespace {

std::wstring LocalAppDataFolder() {
  wchar_t buf[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, buf)) && buf[0])
    return std::wstring(buf) + L"\\Tesmuro\\Recovery";
  return {};
}

void MakeFolders(const std::wstring& folder) {
  // Each level in turn; existing ones are fine.
  for (size_t i = folder.find(L'\\', 3); i != std::wstring::npos; i = folder.find(L'\\', i + 1))
    CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
}

}  // namespace

RecoveryStoreWin::RecoveryStoreWin(std::wstring folder) : folder_(std::move(folder)) {
  if (folder_.empty()) folder_ = LocalAppDataFolder();
}

RecoveryStoreWin::~RecoveryStoreWin() {
  // The file stays: what it holds was not saved or discarded.
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

std::optional<std::string> RecoveryStoreWin::TakeLeftOver() {
  if (folder_.empty()) return std::nullopt;
  struct Found {
    std::wstring path;
    ULONGLONG written;
  };
  std::vector<Found> found;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((folder_ + L"\\*.crec").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring p = folder_ + L"\\" + fd.cFileName;
    if (p == path_) continue;
    found.push_back({p, (ULONGLONG{fd.ftLastWriteTime.dwHighDateTime} << 32) | fd.ftLastWriteTime.dwLowDateTime});
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  // The newest first; one script is offered per start.
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.written > b.written; });
  for (const auto& f : found) {
    // A running program holds its file without sharing: then this fails.
    HANDLE h = CreateFileW(f.path.c_str(), GENERIC_READ | DELETE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    LARGE_INTEGER size{};
    std::string bytes;
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart < 0x40000000;
    if (ok) {
      bytes.resize(static_cast<size_t>(size.QuadPart));
      DWORD got = 0;
      ok = bytes.empty() || (ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                             got == bytes.size());
    }
    CloseHandle(h);
    if (!ok) continue;
    DeleteFileW(f.path.c_str());
    if (!bytes.empty()) return bytes;
  }
  return std::nullopt;
}

bool RecoveryStoreWin::Start(std::string_view bytes) {
  if (folder_.empty()) return false;
  if (file_ == INVALID_HANDLE_VALUE) {
    MakeFolders(folder_);
    // A name no other store uses, in this program or another one.
    static LONG serial = 0;
    for (int attempt = 0; attempt < 8 && file_ == INVALID_HANDLE_VALUE; ++attempt) {
      wchar_t name[80];
      wsprintfW(name, L"\\script-%lu-%lu-%ld.crec", GetCurrentProcessId(), GetTickCount(),
                InterlockedIncrement(&serial));
      path_ = folder_ + name;
      file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                          nullptr);
    }
    if (file_ == INVALID_HANDLE_VALUE) {
      path_.clear();
      return false;
    }
  } else {
    SetFilePointer(file_, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file_);
  }
  return Write(bytes);
}

bool RecoveryStoreWin::Append(std::string_view bytes) {
  if (file_ == INVALID_HANDLE_VALUE) return false;
  return Write(bytes);
}

bool RecoveryStoreWin::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD wrote = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
    if (!WriteFile(file_, bytes.data(), chunk, &wrote, nullptr) || wrote == 0) return false;
    bytes.remove_prefix(wrote);
  }
  return FlushFileBuffers(file_) != FALSE;
}

void RecoveryStoreWin::Remove() {
  if (file_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  DeleteFileW(path_.c_str());
  path_.clear();
}

}  // namespace tesmuro::win
