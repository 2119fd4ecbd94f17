#include "play/playback_session.h"

#include <algorithm>
#include <stdexcept>

#include "util/file_io.h"

namespace tesmuro::play {

PlaybackSession::PlaybackSession(NewPlayer newPlayer, NewScratchFile newScratchFile)
    : newPlayer_(std::move(newPlayer)), newScratchFile_(std::move(newScratchFile)) {
  if (!newPlayer_) throw std::invalid_argument("a playback session needs a way to make players");
  if (!newScratchFile_) newScratchFile_ = [] { return OpenScratchFile(); };
}

PlaybackSession::~PlaybackSession() { Stop(); }

namespace {
// The folder a file is in ("" for a bare name; a root keeps its separator).
std::string FolderOf(const std::string& path) {
  const size_t at = path.find_last_of("/\\");
  if (at == std::string::npos) return {};
  if (at == 0 || (at == 2 && path[1] == ':')) return path.substr(0, at + 1);
  return path.substr(0, at);
}

// A copy of `bytes` in a new scratch file, read from its start; nullptr when
// none can be made or written.
std::FILE* CopyToScratch(const std::string& bytes, std::FILE* scratch) {
  if (!scratch) return nullptr;
  if (std::fwrite(bytes.data(), 1, bytes.size(), scratch) != bytes.size() || std::fflush(scratch) != 0) {
    std::fclose(scratch);
    return nullptr;
  }
  std::rewind(scratch);
  return scratch;
}
}  // namespace

PlaybackSession::StartResult PlaybackSession::Start(const ScriptSource& source, const RunOptions& options,
                                                    uint32_t tick) {
  std::FILE* file = source.path.empty() ? CopyToScratch(source.bytes, newScratchFile_())
                                        : OpenFile(source.path, "rb");
  if (!file) return source.path.empty() ? StartResult::CannotCopy : StartResult::CannotOpen;
  Stop();
  player_ = newPlayer_();
  shownInBox_ = source.shownInBox;  // before the run starts: it may be asked at once
  startTick_ = tick;
  RunOptions o = options;
  o.scriptFolder = source.path.empty() ? source.folder : FolderOf(source.path);
  player_->Start(file, o);
  return StartResult::Started;
}

void PlaybackSession::Stop() {
  if (!player_) return;
  player_->RequestStop(/*byUser=*/true);
  player_.reset();
}

bool PlaybackSession::TogglePause() {
  if (!player_) return false;
  if (player_->Suspended())
    player_->Resume();
  else
    player_->Suspend();
  return true;
}

RunOutcome PlaybackSession::Outcome() const {
  if (!player_ || !player_->Finished()) return RunOutcome::Stopped;
  if (auto why = player_->WhyStopped(); why && why->TimedOut()) return RunOutcome::WaitTimedOut;
  if (player_->EndedByError()) return RunOutcome::Error;
  if (player_->EndedBlocked()) return RunOutcome::Blocked;
  return player_->StoppedByUser() ? RunOutcome::Stopped : RunOutcome::Played;
}

std::optional<int64_t> PlaybackSession::BoxLineOffset() const {
  if (!shownInBox_ || !player_) return std::nullopt;
  if (Playing()) return std::max<int64_t>(player_->LineOffset(), 0);
  // A run that stopped on a line keeps it marked.
  if (auto why = player_->WhyStopped()) return why->offset;
  return std::nullopt;
}

PlaybackSession::Progress PlaybackSession::ProgressAt(uint32_t tick) const {
  Progress p;
  p.playing = Playing();
  if (!p.playing) return p;
  const RunOptions& o = player_->Options();
  p.paused = player_->Suspended();
  p.mode = static_cast<int32_t>(o.loopMode);
  p.passesDone = player_->Passes();
  p.passCount = std::max(o.loopCount, 1);
  p.secondsLeft = o.loopTotalSeconds - static_cast<uint32_t>(tick - startTick_) / 1000;
  return p;
}

}  // namespace tesmuro::play
