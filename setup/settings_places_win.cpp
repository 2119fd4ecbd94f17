#include "setup/settings_places_win.h"

#include <windows.h>

#include <shlobj.h>

#include "ui/win_util_win.h"
#include "util/path.h"

namespace tesmuro::win {

bool WinSettingsPlaces::Exists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WinSettingsPlaces::CanWriteIn(const std::string& folder) {
  if (folder.empty()) return false;
  const std::wstring probe =
      Wide(JoinPath(folder, "~tesmuro-" + std::to_string(GetCurrentProcessId()) + ".tmp"));
  HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

std::string WinSettingsPlaces::UserDataFolder() {
  wchar_t buf[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, buf)) || !buf[0]) return {};
  return Utf8(buf);
}

bool WinSettingsPlaces::MakeFolder(const std::string& folder) {
  const std::wstring f = Wide(folder);
  if (CreateDirectoryW(f.c_str(), nullptr)) return true;
  const DWORD attributes = GetFileAttributesW(f.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace tesmuro::win
