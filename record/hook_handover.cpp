#include "record/hook_handover.h"

#include <chrono>

namespace tesmuro {

// ---- HookEventQueue ----

bool HookEventQueue::Push(const HookEvent& e) noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  try {
    if (queue_.size() >= capacity_) {
      queue_.pop_front();
      ++dropped_;
    }
    queue_.push_back(e);
  } catch (...) {
    ++dropped_;  // out of memory: the event is dropped rather than input stalled
  }
  if (wakeOutstanding_ || queue_.empty()) return false;
  wakeOutstanding_ = true;
  return true;
}

void HookEventQueue::WakeFailed() noexcept {
  std::lock_guard<std::mutex> lock(mutex_);
  wakeOutstanding_ = false;
}

void HookEventQueue::Take(std::vector<HookEvent>& out) {
  out.clear();
  std::deque<HookEvent> taken;
  {
    // Only a swap under the lock: the hook procedure never waits for a copy.
    std::lock_guard<std::mutex> lock(mutex_);
    taken.swap(queue_);
    wakeOutstanding_ = false;
  }
  out.assign(taken.begin(), taken.end());
}

size_t HookEventQueue::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

uint64_t HookEventQueue::Dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

// ---- HookRequests ----

uint32_t HookRequests::Begin() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ++next_;
}

void HookRequests::Answer(uint32_t number, bool result) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    answeredNumber_ = number;
    hasAnswer_ = true;
    result_ = result;
  }
  answered_.notify_all();
}

std::optional<bool> HookRequests::Wait(uint32_t number, uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool ok = answered_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return hasAnswer_ && answeredNumber_ == number; });
  if (!ok) return std::nullopt;
  return result_;
}

// ---- HookPump ----

void HookPump::Report() noexcept {
  try {
    if (cb_.report) cb_.report(std::current_exception());
  } catch (...) {
  }
}

void HookPump::Drain() {
  // A handler that runs a modal loop (an error box) lets a wake-up in here:
  // the outer call goes on taking events until the queue is empty, so the
  // events of that wake-up are handled once the handler has returned.
  if (draining_ || command_ != HotKeyCommand::None) return;
  draining_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{draining_};
  for (;;) {
    if (pending_.empty()) {
      try {
        cb_.take(taken_);
      } catch (...) {  // out of memory: reported; the next wake-up or tick tries again
        Report();
        break;
      }
      if (taken_.empty()) break;
      pending_.insert(pending_.end(), taken_.begin(), taken_.end());
      taken_.clear();
    }
    const HookEvent e = pending_.front();
    pending_.pop_front();
    HotKeyCommand command = HotKeyCommand::None;
    try {
      command = cb_.handle(e);
    } catch (...) {
      Report();
    }
    if (command != HotKeyCommand::None) {
      // The press is handled (recorded); its command takes effect before the
      // next event.
      command_ = command;
      seenByPoll_ = false;
      bool posted = false;
      try {
        posted = cb_.post();
      } catch (...) {
      }
      postFailed_ = !posted;
      return;
    }
  }
}

void HookPump::RunPostedCommand() {
  const HotKeyCommand command = command_;
  command_ = HotKeyCommand::None;  // before it runs: each press runs its command once
  postFailed_ = seenByPoll_ = false;
  if (command != HotKeyCommand::None) {
    try {
      cb_.run(command);
    } catch (...) {
      Report();
    }
  }
  Drain();
}

void HookPump::Poll() {
  if (draining_) return;
  if (command_ != HotKeyCommand::None) {
    if (postFailed_ || seenByPoll_) {
      RunPostedCommand();
    } else {
      seenByPoll_ = true;
    }
    return;
  }
  Drain();
}

}  // namespace tesmuro
