// tesmuro: the Linux program. Records global input on X11 into an action
// script and plays scripts back, with the same recorders and player as the
// Windows program, so scripts go both ways. This file reads the command line
// and the settings and hands over to the command (record_command.cpp,
// play_command.cpp, capture_command.cpp, hotkeys_command.cpp, thin_command.cpp).
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "linux/cli.h"
#include "linux/commands.h"
#include "linux/console.h"
#include "linux/files.h"
#include "linux/services.h"
#include "pack/payload.h"
#include "util/file_io.h"
#include "os/desktop_x11.h"
#include "play/input_sink_x11.h"
#include "play/play_clock_linux.h"
#include "setup/settings.h"

#include "tesmuro_version.h"

// Xlib last: its macros (None, Status, ...) would clash with the names above.
#include <X11/Xlib.h>


namespace tesmuro::linux_cli {
namespace {

// The X11 halves, chosen here once.
Services X11Services() {
  Services s;
  s.openInput = [](Display* display, play::InjectionLog* log, std::shared_ptr<IDesktop> desktop) {
    auto sink = std::make_shared<play::X11InputSink>(display, log,
                                                     [](const std::string& t) { linux_console::Out().Say(t); });
    sink->UseDesktop(std::move(desktop));
    return std::shared_ptr<play::IInputSink>(std::move(sink));
  };
  s.openDesktop = [](const std::string& display) { return std::shared_ptr<IDesktop>(X11Desktop::Open(display)); };
  s.shutdown = std::make_shared<play::NoShutdownRequester>();
  s.newPlayClock = [] { return std::make_unique<play::LinuxPlayClock>(); };
  return s;
}

int Main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  {
    // A program that carries a script (an exported one) plays it and is
    // nothing else; one whose payload is damaged plays none of it.
    std::string self;
    if (ReadWholeFile("/proc/self/exe", self)) {
      const pack::PayloadRead packed = pack::ReadProgramPayload(self);
      std::string().swap(self);
      if (packed.state == pack::PayloadState::Damaged) {
        std::fprintf(stderr, "%s: 这个程序携带的动作记录已损坏（%s），不能回放。\n", argv[0], packed.problem.c_str());
        return kExitError;
      }
      if (packed.state == pack::PayloadState::Valid) {
        return RunPackedProgram(packed.payload, args, [] {
          XInitThreads();
          linux_console::InstallSignals();
          return X11Services();
        });
      }
    }
  }
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
  if (o.command == Command::Export) return RunExport(o, settings);  // no display

  XInitThreads();
  if (!linux_console::InstallSignals()) {
    out.Say(std::string("无法创建信号描述符：") + std::strerror(errno) + "。");
    return kExitError;
  }
  const Services services = X11Services();
  if (o.command == Command::Hotkeys) return RunHotkeys(o, settings, settingsPath, services);
  return o.command == Command::Record ? RunRecord(o, settings, services) : RunPlay(o, settings, services);
}

}  // namespace
}  // namespace tesmuro::linux_cli

int main(int argc, char** argv) { return tesmuro::linux_cli::Main(argc, argv); }
