#include "ui/file_dialog_win.h"

#include <commdlg.h>

#include <algorithm>
#include <cwchar>

#include "ui/win_util_win.h"

namespace tesmuro::win {
namespace {

std::optional<std::wstring> Ask(bool save, HWND owner, std::string_view filterUtf8, std::string_view defaultExt,
                                std::string_view folder = {}, std::string_view proposedName = {}) {
  // The filter's parts as the system wants them: each ended by a NUL, the
  // list by a second one.
  std::wstring filter = Wide(filterUtf8);
  for (auto& c : filter)
    if (c == L'|') c = L'\0';
  filter.push_back(L'\0');
  const std::wstring ext = Wide(defaultExt);
  std::wstring file(32768, L'\0');
  const std::wstring proposed = Wide(proposedName), initialDir = Wide(folder);
  std::copy(proposed.begin(), proposed.begin() + std::min<size_t>(proposed.size(), 32767), file.begin());
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrDefExt = ext.c_str();
  if (!initialDir.empty()) ofn.lpstrInitialDir = initialDir.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (save) ofn.Flags |= OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return std::nullopt;
  file.resize(wcslen(file.c_str()));
  return file;
}

}  // namespace

std::optional<std::wstring> AskOpenFileName(HWND owner, std::string_view filter, std::string_view defaultExt) {
  return Ask(false, owner, filter, defaultExt);
}

std::optional<std::wstring> AskSaveFileName(HWND owner, std::string_view filter, std::string_view defaultExt) {
  return Ask(true, owner, filter, defaultExt);
}

std::optional<std::wstring> AskSaveFileNameIn(HWND owner, std::string_view filter, std::string_view defaultExt,
                                              std::string_view folder, std::string_view proposedName) {
  return Ask(true, owner, filter, defaultExt, folder, proposedName);
}

}  // namespace tesmuro::win
