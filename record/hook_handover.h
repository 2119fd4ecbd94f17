// How hook events and requests pass between the hook thread and the user
// interface thread, without either side ever waiting for long on the other
// and without a lost wake-up leaving events behind for good.
//
//   hook thread                         user interface thread
//   HookEventQueue::Push ── wake-up ──> HookPump::Drain ── handle each event
//     (capped, never blocks for long)     (a hot key's command is posted and
//                                          runs from RunPostedCommand)
//   answers HookRequests  <── request ── install / remove a hook
//
// A 250 ms timer on the interface thread calls HookPump::Poll, which picks up
// what a lost or swallowed wake-up, a failed post or a handler that stopped
// half-way left behind.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "record/hook_events.h"
#include "record/key_hook.h"

namespace tesmuro {

class HookEventQueue {
 public:
  // About a minute of the fastest input (a 1000 Hz mouse), 2.5 MB at most.
  static constexpr size_t kDefaultCapacity = 65536;

  explicit HookEventQueue(size_t capacity = kDefaultCapacity) : capacity_(capacity ? capacity : 1) {}

  // Hook thread. Appends an event. A full queue drops its oldest event to
  // make room: the newest input (a stop key, say) matters most. An event that
  // cannot be stored (out of memory) is dropped. True when the caller is to
  // post a wake-up: none is outstanding (posted and not yet answered by Take).
  bool Push(const HookEvent& e) noexcept;
  // Hook thread: the wake-up could not be posted; the next Push asks again.
  void WakeFailed() noexcept;

  // Interface thread: moves every queued event into `out` (cleared first),
  // oldest first, and answers the outstanding wake-up.
  void Take(std::vector<HookEvent>& out);

  size_t Size() const;
  // Events dropped so far (queue full or out of memory).
  uint64_t Dropped() const;

 private:
  mutable std::mutex mutex_;
  std::deque<HookEvent> queue_;
  size_t capacity_;
  bool wakeOutstanding_ = false;
  uint64_t dropped_ = 0;
};

// Requests from the interface thread to the hook thread (install a hook, ...),
// numbered so that an answer that comes after its request gave up waiting is
// never taken for the answer to a later request.
class HookRequests {
 public:
  // Caller: the number of a new request, to send with it.
  uint32_t Begin();
  // Hook thread: the result of request `number`.
  void Answer(uint32_t number, bool result);
  // Caller: waits at most `timeoutMs` for the answer to `number`; nothing
  // when it does not come in time.
  std::optional<bool> Wait(uint32_t number, uint32_t timeoutMs);

 private:
  std::mutex mutex_;
  std::condition_variable answered_;
  uint32_t next_ = 0;
  uint32_t answeredNumber_ = 0;
  bool hasAnswer_ = false;
  bool result_ = false;
};

// The interface thread's side: handles the events in the order the hooks saw
// them. A key event that fires a hot key stops the handling; the command is
// posted and runs from RunPostedCommand (outside the handling, so a command
// that opens a dialog does not run nested inside it), then the handling goes
// on. Events that arrive while an event's handler runs a modal loop (an error
// box, say) wait until that handler has returned.
class HookPump {
 public:
  struct Callbacks {
    // Takes the events the hook thread queued (HookEventQueue::Take).
    std::function<void(std::vector<HookEvent>&)> take;
    // Handles one event; the command of the hot key it fires, if any.
    std::function<HotKeyCommand(const HookEvent&)> handle;
    // Asks for RunPostedCommand to be called soon (a posted message); false
    // when the request could not be made.
    std::function<bool()> post;
    // Runs a hot key's command.
    std::function<void(HotKeyCommand)> run;
    // An error escaped `handle` or `run` (shown to the user); may run a modal
    // loop.
    std::function<void(std::exception_ptr)> report;
  };

  explicit HookPump(Callbacks callbacks) : cb_(std::move(callbacks)) {}

  // The hook thread's wake-up: handles queued events until none is left or a
  // hot key's command is waiting to run.
  void Drain();
  // The posted request: runs the waiting command, if any, then drains.
  void RunPostedCommand();
  // The timer. A command whose posted request was lost or could not be made
  // runs at the second poll that finds it waiting (or the first, when the
  // post failed); events left queued are handled.
  void Poll();

  bool CommandWaiting() const { return command_ != HotKeyCommand::None; }
  size_t EventsWaiting() const { return pending_.size(); }

 private:
  void Report() noexcept;

  Callbacks cb_;
  std::deque<HookEvent> pending_;  // taken from the queue, not yet handled
  std::vector<HookEvent> taken_;
  bool draining_ = false;
  HotKeyCommand command_ = HotKeyCommand::None;
  bool postFailed_ = false;
  bool seenByPoll_ = false;
};

}  // namespace tesmuro
