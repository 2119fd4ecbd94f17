// Tesmuro's entry point: the application object, the four windows in their
// order, and the message loop.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <exception>
#include <string>
#include <vector>

#include "ui/application_win.h"
#include "app/command_line.h"
#include "app/main_window_win.h"
#include "app/packed_main_win.h"
#include "pack/payload.h"
#include "util/file_io.h"
#include "os/system_library_win.h"
#include "app/texts.h"
#include "ui/win_util_win.h"
#include "os/winmm_win.h"
#include "auxiliary/forms_win.h"

using namespace tesmuro;

namespace {

// The arguments after the program's name, UTF-8, whatever the code page.
std::vector<std::string> Arguments() {
  std::vector<std::string> args;
  int n = 0;
  if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &n)) {
    for (int i = 1; i < n; ++i) args.push_back(win::Utf8(argv[i]));
    LocalFree(argv);
  }
  return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything loads a library: none is taken from the program's folder.
  win::RestrictLibrarySearch();
  win::winmm::Load();
  {
    // A program that carries a script (an exported one) plays it and is
    // nothing else; one whose payload is damaged plays none of it.
    std::string self;
    if (ReadWholeFile(win::ExePath(), self)) {
      const pack::PayloadRead packed = pack::ReadProgramPayload(self);
      std::string().swap(self);
      if (packed.state != pack::PayloadState::None) {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
      }
      if (packed.state == pack::PayloadState::Valid) return win::RunPackedProgram(packed.payload, Arguments());
      if (packed.state == pack::PayloadState::Damaged) return win::RefuseDamagedProgram(packed.problem);
    }
  }
  const CommandLine commandLine = ParseCommandLine(Arguments());
  if (commandLine.action == CommandLine::Action::Usage) {
    MessageBoxW(nullptr, win::Wide(CommandLineUsage()).c_str(), win::Wide(text::kAppTitle).c_str(),
                MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  if (commandLine.action == CommandLine::Action::Export) {
    if (commandLine.error.empty()) return win::ExportFromCommandLine(commandLine);
    MessageBoxW(nullptr, win::Wide(commandLine.error + "。").c_str(), win::Wide(text::kAppTitle).c_str(),
                MB_OK | MB_ICONERROR);
    return kExitError;
  }
  int exitCode = 0;
  try {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_HOTKEY_CLASS};
    InitCommonControlsEx(&icc);
    win::Application app;

    // The system's services, chosen here once and handed down.
    win::MainWindowWin main(app, win::RealSystemServices());
    main.SetQuiet(commandLine.exitWhenDone);
    if (!main.Create()) return commandLine.exitWhenDone ? kExitError : 0;
    main.Logic()->SetCommandLine(commandLine);
    main.CreateSoftwareSetup();
    main.CreateAbout();
    main.CreateMirco();

    main.Show();
    exitCode = app.Run();
  } catch (const std::exception& e) {
    if (commandLine.exitWhenDone) return kExitError;
    win::ShowErrorBox(nullptr, e.what());
  } catch (...) {
    if (commandLine.exitWhenDone) return kExitError;
    win::ShowErrorBox(nullptr, "");
  }
  return exitCode;
}
