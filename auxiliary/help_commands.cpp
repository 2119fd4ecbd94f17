// The Help menu's commands of the main window.
#include "auxiliary/help_commands.h"

#include "app/main_window.h"

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

void TFrmMain::MnuContentClick() {
  const std::string path = help::HelpFilePath(exeDirectory_);
  if (!help::HelpFileExists(path)) {
    view_.ShowMessage(std::string(help::kCannotOpenHelp) + path, help::kNoticeCaption, kMbOk | kMbIconError);
    return;
  }
  // Whether the shell managed to open it is not examined.
  view_.ShellRequest("open", path, "");
}

void TFrmMain::MnuVHostClick() {
  // No verb: the shell's default action on the browser, named explicitly.
  view_.ShellRequest("", help::kBrowser, help::kHomePage);
}

void TFrmMain::MnuAboutClick() { view_.ShowAboutModal(); }

}  // namespace tesmuro
