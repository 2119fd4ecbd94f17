// tesmuro: the Linux program. Records global input on X11 into an action
// script and plays scripts back, with the same recorders and player as the
// Windows program, so scripts go both ways. This file reads the command line
// and the settings and hands over to the command (record_command.cpp,
// play_command.cpp, capture_command.cpp, hotkeys_command.cpp, thin_command.cpp).
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "linux/cli.h"
#include "linux/commands.h"
#include "linux/console.h"
#include "linux/files.h"
#include "setup/settings.h"

#include "tesmuro_version.h"

// Xlib last: its macros (None, Status, ...) would clash with the names above.
#include <X11/Xlib.h>


namespace tesmuro::linux_cli {
namespace {

int Main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  const ParseResult parsed = ParseCommandLine(args);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "tesmuro: %s\n请用“tesmuro --help”查看用法。\n", parsed.error.c_str());
    return kExitError;
  }
  const Options& o = parsed.options;
  if (o.command == Command::Help) {
    std::fputs(UsageText().c_str(), stdout);
    return kExitOk;
  }
  if (o.command == Command::Version) {
    std::printf("tesmuro %s\n", TESMURO_VERSION);
    return kExitOk;
  }
  if (o.command == Command::Capture) return RunCapture(o);  // no settings, no signals
  if (o.command == Command::Thin) return RunThin(o);        // no display either

  linux_console::Console& out = linux_console::Out();
  TSettings settings;
  std::string error, notice;
  const std::string settingsPath = o.settingsFile.value_or(linux_files::DefaultSettingsPath());
  if (!linux_files::LoadSettings(settingsPath, o.settingsFile.has_value(), settings, error, notice)) {
    out.Say(error);
    return kExitError;
  }
  if (!notice.empty()) out.Say(notice);

  XInitThreads();
  if (!linux_console::InstallSignals()) {
    out.Say(std::string("无法创建信号描述符：") + std::strerror(errno) + "。");
    return kExitError;
  }
  if (o.command == Command::Hotkeys) return RunHotkeys(o, settings, settingsPath);
  return o.command == Command::Record ? RunRecord(o, settings) : RunPlay(o, settings);
}

}  // namespace
}  // namespace tesmuro::linux_cli

int main(int argc, char** argv) { return tesmuro::linux_cli::Main(argc, argv); }
