#include <windows.h>

#include "auxiliary/help_commands.h"
#include "util/text.h"

namespace tesmuro::help {

bool HelpFileExists(const std::string& utf8Path) {
  const DWORD attr = GetFileAttributesW(reinterpret_cast<const wchar_t*>(Utf8ToUtf16(utf8Path).c_str()));
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace tesmuro::help
