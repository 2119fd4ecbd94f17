// The Windows desktop as the waits and the window lines see it: top-level
// windows through the window manager's own calls, pixels from the screen.
#pragma once

#include "os/desktop.h"

namespace tesmuro::win {

// One process-wide object, safe to use from any thread; it lives until the
// program ends. Its calls never send a message to a window, so a thread that
// uses it never waits on the user interface thread (whose windows it may
// describe) or on a program that hangs.
IDesktop& SystemDesktop();

}  // namespace tesmuro::win
