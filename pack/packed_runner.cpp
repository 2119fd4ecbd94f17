#include "pack/packed_runner.h"

#include "play/run_texts.h"
#include "play/stop_reason.h"

namespace tesmuro::pack {

PackedRunner::PackedRunner(const Payload& payload, play::PlaybackSession::NewPlayer newPlayer, IHookHost& hooks,
                           IClock& clock, PackedFiles::NewScratchFile newScratchFile)
    : payload_(payload),
      play_(PlayOf(payload, newScratchFile)),
      session_(std::move(newPlayer), std::move(newScratchFile)),
      keys_(hooks, clock) {
  keys_.HotKeysEnabled = payload.run.hotKeys;
  keys_.HotStopKey = payload.run.stopKey;
}

PackedRunner::~PackedRunner() {
  session_.Stop();
  keys_.Uninstall();
}

bool PackedRunner::Start(uint32_t tick) {
  keys_.Install();
  return session_.Start(play_.source, play_.options, tick) == play::PlaybackSession::StartResult::Started;
}

void PackedRunner::OnKeyEvent(const KeyHookEvent& e) {
  if (const std::optional<Shortcut> key = userKeys_.OnEvent(e)) session_.UserKeyPressed(*key);
  const HotKeyCommand command = keys_.OnEvent(e, *this);
  if (!session_.Playing()) return;
  if (command == HotKeyCommand::Stop || IsEmergencyStopPress(e)) Stop();
}

void PackedRunner::Stop() {
  if (session_.Player()) session_.Player()->RequestStop(/*byUser=*/true);
}

std::string PackedRunner::Title() const { return "正在播放 " + payload_.scriptName + " … 按 Pause 停止"; }

std::string PackedRunner::ProgressText(uint32_t tick) {
  const play::RunNotices n = session_.TakeNotices();
  std::string t = play::PlayStateText(false, session_.ProgressAt(tick));
  if (n.wait) t += "  " + play::WaitProgressText(*n.wait, 40);
  return t;
}

}  // namespace tesmuro::pack
