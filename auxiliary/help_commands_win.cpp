#include <windows.h>

#include "ui/win_util_win.h"
#include "auxiliary/help_commands.h"

namespace tesmuro::help {

bool HelpFileExists(const std::string& utf8Path) {
  const DWORD attr = GetFileAttributesW(win::Wide(utf8Path).c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace tesmuro::help
