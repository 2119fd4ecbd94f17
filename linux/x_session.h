// The X display the program works on: opening it with the checks and clear
// messages a user needs (no display, Wayland without XWayland, a server
// without RECORD or XTEST), and the handler for a server that goes away.
#pragma once

#include <functional>
#include <string>

typedef struct _XDisplay Display;

namespace tesmuro::linux_x {

struct Needs {
  bool record = false;
  bool xtest = false;
};

// Opens a connection to `name` (or $DISPLAY when empty) and checks the
// extensions. Null with a message (UTF-8) in `error` when it cannot.
Display* OpenDisplay(const std::string& name, Needs needs, std::string& error);

// The display name used: `name`, or $DISPLAY.
std::string DisplayName(const std::string& name);

// A notice for an X session that cannot see all input (XWayland), or empty.
std::string SessionNotice();

// Installs Xlib handlers: protocol errors are ignored; a lost
// connection runs `onLost` (once, on whichever thread noticed) and ends the
// process with exit code 2.
void InstallErrorHandlers(std::function<void()> onLost);

}  // namespace tesmuro::linux_x
