// An exported program's one run: the payload's script played with its packed
// options, stopped by the user's Pause key, the packed stop key or the
// notice's 停止, and what the small notice shows meanwhile. The Windows
// program's notice window drives it (app/packed_main_win.cpp).
#pragma once

#include <cstdint>
#include <string>

#include "os/platform.h"
#include "pack/export.h"
#include "play/playback_session.h"
#include "record/hook_events.h"
#include "record/key_hook.h"
#include "record/record_sink.h"

namespace tesmuro::pack {

class PackedRunner : private RecordSink {
 public:
  // `hooks` serves the keyboard hook the stop keys are heard through.
  PackedRunner(const Payload& payload, play::PlaybackSession::NewPlayer newPlayer, IHookHost& hooks, IClock& clock,
               PackedFiles::NewScratchFile newScratchFile = {});
  ~PackedRunner();

  // Installs the keyboard hook and starts the run; false when it cannot
  // start (its script cannot be copied for the player).
  bool Start(uint32_t tick);
  // A key from the hook: the user's Pause, or the packed stop key while the
  // hot keys are on, stops the run; the script's own keys never do.
  void OnKeyEvent(const KeyHookEvent& e);
  // 停止.
  void Stop();

  // "正在播放 NAME … 按 Pause 停止"
  std::string Title() const;
  // What the run is doing now: its progress and the wait it is in.
  std::string ProgressText(uint32_t tick);
  // The run is over (it has been seen to be).
  bool Ended() const { return session_.Ended(); }
  // The program's exit code and what the user is told of the end
  // (empty when it played to its end).
  int ExitCode() const { return session_.Verdict().exitCode; }
  std::string EndText() const { return session_.Verdict().text; }

 private:
  void SyncLastEventTime() override {}
  void AppendLine(std::string_view) override {}
  void SetStatusText(int, std::string_view) override {}

  const Payload& payload_;
  PackedPlay play_;
  play::PlaybackSession session_;
  TKeyHook keys_;
  UserKeyPresses userKeys_;  // for a run waiting for the user's key (等待按键)
};

}  // namespace tesmuro::pack
