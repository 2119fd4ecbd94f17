// The Windows desktop as the waits and the window lines see it: top-level
// windows through the window manager's own calls, pixels from the screen.
#pragma once

#include <memory>

#include "os/desktop.h"

namespace tesmuro::win {

// A new desktop, safe to use from any thread. Its calls never send a message
// to a window, so a thread that uses it never waits on the user interface
// thread (whose windows it may describe) or on a program that hangs. The
// program makes one (app/main_win.cpp) and shares it.
std::unique_ptr<IDesktop> NewDesktop();

}  // namespace tesmuro::win
