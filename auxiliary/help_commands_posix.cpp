#include <sys/stat.h>

#include "auxiliary/help_commands.h"

namespace tesmuro::help {

bool HelpFileExists(const std::string& utf8Path) {
  struct stat st {};
  return ::stat(utf8Path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace tesmuro::help
