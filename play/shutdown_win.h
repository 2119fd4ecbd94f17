// The real shutdown calls on Windows (play/shutdown.h), for the program's main
// to hand down.
#pragma once

#include <memory>

#include "play/shutdown.h"

namespace tesmuro::play {

std::unique_ptr<IShutdownRequester> NewWinShutdownRequester();

}  // namespace tesmuro::play
