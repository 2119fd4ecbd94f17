// The system's services the Linux program's commands use, built once in its
// main (main_linux.cpp) and handed down, so that no command picks one for
// itself: the X11 halves, opened on the display a command names.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "os/desktop.h"
#include "play/injection_log.h"
#include "play/input_sink.h"
#include "play/play_clock.h"
#include "play/shutdown.h"

typedef struct _XDisplay Display;

namespace tesmuro::linux_cli {

struct Services {
  // The player's input on an open connection (used by the player's thread
  // only, and outliving the sink): each key it sends is noted in `log` (may
  // be null); its Desktop() is `desktop` (may be null: window lines are then
  // skipped).
  std::function<std::shared_ptr<play::IInputSink>(Display*, play::InjectionLog* log, std::shared_ptr<IDesktop> desktop)>
      openInput;
  // The desktop on a connection of its own to `display` (empty: $DISPLAY),
  // for the waits and the window lines; null when it cannot be opened.
  std::function<std::shared_ptr<IDesktop>(const std::string& display)> openDesktop;
  // The Linux program shuts nothing down: its requester never gets a token.
  std::shared_ptr<play::IShutdownRequester> shutdown;
  // A new clock for each run.
  std::function<std::unique_ptr<play::IPlayClock>()> newPlayClock;
};

}  // namespace tesmuro::linux_cli
