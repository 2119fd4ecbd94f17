// The system's dialogs that ask for the name of one file to open or save.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace tesmuro::win {

// Asks for a file to open. `filter` is UTF-8 "description|patterns" pairs,
// each part ended by '|' but the last; the first pair is chosen. A name typed
// without an extension gets `defaultExt`. The program's current folder stays
// as it was. The full name chosen, or nothing when the user gave up.
std::optional<std::wstring> AskOpenFileName(HWND owner, std::string_view filter, std::string_view defaultExt);
// The same for saving: the folder must exist, and replacing a file is asked first.
std::optional<std::wstring> AskSaveFileName(HWND owner, std::string_view filter, std::string_view defaultExt);
// The same, opened in `folder` with `proposedName` filled in (UTF-8).
std::optional<std::wstring> AskSaveFileNameIn(HWND owner, std::string_view filter, std::string_view defaultExt,
                                              std::string_view folder, std::string_view proposedName);

}  // namespace tesmuro::win
