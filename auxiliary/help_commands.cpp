// The Help menu's commands of the main window.
#include "auxiliary/help_commands.h"


namespace tesmuro {

namespace help {

std::string HelpFilePath(const std::string& exeDirectory) {
  std::string dir = exeDirectory;
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') {
#ifdef _WIN32
    dir += '\\';
#else
    dir += '/';
#endif
  }
  return dir + kHelpFileName;
}

}  // namespace help

}  // namespace tesmuro
