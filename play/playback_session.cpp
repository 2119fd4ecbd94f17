#include "play/playback_session.h"

#include <algorithm>

namespace tesmuro::play {

void ApplyRunOptions(const RunOptions& o, TRunThread& p) {
  p.LoopMode = o.loopMode;
  p.SetLoopCount(o.loopCount);
  p.LoopTotalSeconds = o.loopTotalSeconds;
  p.ShutAfterLoops = o.shutAfterLoops;
  p.ShutTotalSeconds = o.shutTotalSeconds;
  p.ShutAfterElapsed = o.shutAfterElapsed;
  p.PostJoy = o.controller.broadcast;
  p.SendInputJoy = o.controller.hardwareInput;
  p.SpeedPercent = o.speedPercent;
  p.GameMode = o.gameMode;
  p.ScaleToScreen = o.scaleToScreen;
  p.StopWhenBlocked = o.stopWhenBlocked;
}

PlaybackSession::PlaybackSession(NewPlayer newPlayer) : newPlayer_(std::move(newPlayer)) {
  if (!newPlayer_) newPlayer_ = [] { return std::make_unique<TRunThread>(); };
}

PlaybackSession::~PlaybackSession() { Stop(); }

TRunThread& PlaybackSession::Start(std::FILE* file, const RunOptions& options, uint32_t tick) {
  Stop();
  player = newPlayer_();
  player->ScriptFile = file;
  ApplyRunOptions(options, *player);
  mode_ = options.loopMode == 1 || options.loopMode == 2 ? options.loopMode : 0;
  count_ = std::max(options.loopCount, 1);
  seconds_ = options.loopTotalSeconds;
  startTick_ = tick;
  player->Resume();
  return *player;
}

void PlaybackSession::Stop() {
  if (!player) return;
  player->RequestStop(/*byUser=*/true);
  player.reset();
}

bool PlaybackSession::TogglePause() {
  if (!player) return false;
  if (player->Suspended())
    player->Resume();
  else
    player->Suspend();
  return true;
}

RunOutcome PlaybackSession::Outcome() const {
  if (!player || !player->Finished()) return RunOutcome::Stopped;
  if (player->EndedByError()) return RunOutcome::Error;
  if (player->EndedBlocked()) return RunOutcome::Blocked;
  return player->StoppedByUser.load() ? RunOutcome::Stopped : RunOutcome::Played;
}

PlaybackSession::Progress PlaybackSession::ProgressAt(uint32_t tick) const {
  Progress p;
  p.playing = Playing();
  if (!p.playing) return p;
  p.paused = player->Suspended();
  p.mode = mode_;
  p.passesDone = player->Passes();
  p.passCount = count_;
  p.secondsLeft = seconds_ - static_cast<uint32_t>(tick - startTick_) / 1000;
  return p;
}

}  // namespace tesmuro::play
