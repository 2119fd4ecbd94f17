// What the playback thread shares with the TRunThread that owns it: the
// services, the stop and pause flags, the notices the owner polls, the
// script and the run's copy of the options. The run itself works on a
// context of its own (play/run_context.h). Not for use outside the player.
#pragma once

#include <atomic>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "play/run_thread.h"

namespace tesmuro::play {

struct RunShared {
  RunShared(std::shared_ptr<IInputSink> s, std::shared_ptr<IShutdownRequester> sd, std::unique_ptr<IPlayClock> c)
      : sink(std::move(s)), shutdown(std::move(sd)), clock(std::move(c)) {}

  void Wake() { clock->Wake(); }

  const std::shared_ptr<IInputSink> sink;
  const std::shared_ptr<IShutdownRequester> shutdown;
  const std::unique_ptr<IPlayClock> clock;
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> stoppedByUser{false};
  std::atomic<bool> started{false};
  std::atomic<bool> paused{false};
  std::atomic<bool> finished{false};
  std::atomic<int64_t> passes{0};
  std::atomic<int64_t> lineOffset{-1};  // start of the line being played
  std::promise<void> ended;

  // The run's script and its copy of the options (written before the thread starts).
  std::FILE* file = nullptr;
  RunOptions options;
  std::atomic<bool> failed{false};
  std::atomic<bool> blocked{false};
  std::atomic<bool> endedBlocked{false};
  std::mutex noticeLock;
  std::optional<ScreenNotice> screenNotice;  // guarded by noticeLock
  std::optional<StopReason> stopReason;      // set before `finished`
  std::optional<WaitProgress> waitShown;     // guarded by noticeLock
  // The user's key presses (Shortcut codes), as the platform reports them
  // (TRunThread::UserKeyPressed), kept only while the run waits for a key:
  // a press before the wait began never counts. At most kMaxKeysPressed
  // between two looks of the wait; more are dropped.
  static constexpr size_t kMaxKeysPressed = 64;
  std::mutex keyLock;
  bool keyWaitOpen = false;            // guarded by keyLock
  std::vector<uint16_t> keysPressed;   // guarded by keyLock
  std::atomic<bool> stepRequested{false};  // Step(): pause again before the next word's line
  std::optional<PauseNotice> pauseNotice;  // guarded by noticeLock
  std::atomic<bool> drew{false};      // the run drew a random delay or share
  std::atomic<bool> seedTold{false};  // TakeSeedNotice() gave the seed
};

// Everything the thread touches. The object and the thread each hold it; the
// settings are the run's own copies, taken at the start.
struct TRunThread::State : RunShared {
  using RunShared::RunShared;
  // The thread: plays the script (play/run_play.cpp), then lets go of what
  // the run holds, closes the script and tells how the run ended.
  void Main() noexcept;
};

}  // namespace tesmuro::play
