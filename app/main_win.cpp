// Tesmuro's entry point: the application object, the four windows in their
// order, and the message loop.
#include <windows.h>

#include <commctrl.h>

#include <exception>

#include "app/application_win.h"
#include "app/main_window_win.h"
#include "app/system_library_win.h"
#include "app/texts.h"
#include "app/win_util_win.h"
#include "app/winmm_win.h"
#include "auxiliary/forms_win.h"

using namespace tesmuro;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // Before anything loads a library: none is taken from the program's folder.
  win::RestrictLibrarySearch();
  win::winmm::Load();
  try {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_HOTKEY_CLASS};
    InitCommonControlsEx(&icc);
    win::Application app;

    win::MainWindowWin main(app);
    if (!main.Create()) return 0;
    main.CreateSoftwareSetup();
    main.CreateAbout();
    main.CreateMirco();

    main.Show();
    app.Run();
  } catch (const std::exception& e) {
    win::ShowErrorBox(nullptr, e.what());
  } catch (...) {
    win::ShowErrorBox(nullptr, "");
  }
  return 0;
}
