// What a player needs of the system: where its input goes, who asks for a
// shutdown, and a new clock for each run. Each program's main builds these
// once from its own platform half and hands them down; tests build them from
// fakes. Nothing in the core picks a system service for itself.
#pragma once

#include <functional>
#include <memory>

#include "play/input_sink.h"
#include "play/play_clock.h"
#include "play/shutdown.h"

namespace tesmuro::play {

struct PlayerServices {
  // Shared with every player, which keeps them alive for as long as its
  // thread may use them (a run stuck in a system call outlives its owner).
  std::shared_ptr<IInputSink> input;
  std::shared_ptr<IShutdownRequester> shutdown;
  // One clock per player: a clock's wait has a single waiter.
  std::function<std::unique_ptr<IPlayClock>()> newClock;
};

}  // namespace tesmuro::play
