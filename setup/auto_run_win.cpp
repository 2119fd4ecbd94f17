#include "setup/auto_run_win.h"

#include "app/win_util_win.h"

namespace tesmuro::win {
namespace {

HKEY H(setup::IRegistry::Key k) { return reinterpret_cast<HKEY>(k); }
setup::IRegistry::Key K(HKEY h) { return reinterpret_cast<setup::IRegistry::Key>(h); }

}  // namespace

bool WinRegistry::CreateKey(Key parent, std::string_view path, Key& key) {
  HKEY h = nullptr;
  const LONG r = RegCreateKeyExW(H(parent), Wide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                 nullptr, &h, nullptr);
  if (r != ERROR_SUCCESS) return false;
  key = K(h);
  return true;
}

bool WinRegistry::OpenKey(Key parent, std::string_view path, Key& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(H(parent), Wide(path).c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return false;
  key = K(h);
  return true;
}

bool WinRegistry::SetString(Key key, std::string_view name, std::string_view data) {
  const std::wstring n = Wide(name);
  const std::wstring d = Wide(data);
  const DWORD bytes = static_cast<DWORD>((d.size() + 1) * sizeof(wchar_t));  // with the terminating zero
  return RegSetValueExW(H(key), n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(d.c_str()), bytes) ==
         ERROR_SUCCESS;
}

void WinRegistry::CloseKey(Key key) { RegCloseKey(H(key)); }

std::string ExePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      return Utf8(buf);
    }
    if (buf.size() >= 32768) return {};  // longer than any path the system allows
    buf.resize(buf.size() * 2);
  }
}

}  // namespace tesmuro::win
