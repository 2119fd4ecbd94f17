#include "setup/auto_run_win.h"

#include "ui/win_util_win.h"

namespace tesmuro::win {
namespace {

HKEY H(setup::IRegistry::Key k) { return reinterpret_cast<HKEY>(k); }
setup::IRegistry::Key K(HKEY h) { return reinterpret_cast<setup::IRegistry::Key>(h); }

}  // namespace

bool WinRegistry::OpenKey(Key parent, std::string_view path, Access access, Key& key) {
  HKEY h = nullptr;
  const std::wstring p = Wide(path);
  // Only the rights the value needs: full access would be refused to a user
  // who may still set values.
  const LONG r = access == Access::Read
                     ? RegOpenKeyExW(H(parent), p.c_str(), 0, KEY_QUERY_VALUE, &h)
                     : RegCreateKeyExW(H(parent), p.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &h, nullptr);
  if (r != ERROR_SUCCESS) return false;
  key = K(h);
  return true;
}

std::optional<std::string> WinRegistry::ReadString(Key key, std::string_view name) {
  const std::wstring n = Wide(name);
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(H(key), n.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
  std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (RegQueryValueExW(H(key), n.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes) !=
      ERROR_SUCCESS)
    return std::nullopt;
  data.resize(wcsnlen(data.c_str(), bytes / sizeof(wchar_t)));  // stored with or without its zero
  return Utf8(data);
}

bool WinRegistry::SetString(Key key, std::string_view name, std::string_view data) {
  const std::wstring n = Wide(name);
  const std::wstring d = Wide(data);
  const DWORD bytes = static_cast<DWORD>((d.size() + 1) * sizeof(wchar_t));  // with the terminating zero
  return RegSetValueExW(H(key), n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(d.c_str()), bytes) ==
         ERROR_SUCCESS;
}

bool WinRegistry::DeleteValue(Key key, std::string_view name) {
  const LONG r = RegDeleteValueW(H(key), Wide(name).c_str());
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

void WinRegistry::CloseKey(Key key) { RegCloseKey(H(key)); }

}  // namespace tesmuro::win
