#include "play/playback_session.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "util/file_io.h"
#include "util/path.h"

namespace tesmuro::play {

PlaybackSession::PlaybackSession(NewPlayer newPlayer, NewScratchFile newScratchFile)
    : newPlayer_(std::move(newPlayer)), newScratchFile_(std::move(newScratchFile)) {
  if (!newPlayer_) throw std::invalid_argument("a playback session needs a way to make players");
  if (!newScratchFile_) newScratchFile_ = [] { return OpenScratchFile(); };
}

PlaybackSession::~PlaybackSession() { Stop(); }

namespace {
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
  shownInBox_ = source.shownInBox;
  endTold_ = false;  // before the run starts: it may be asked at once
  startTick_ = tick;
  RunOptions o = options;
  o.scriptFolder = source.path.empty() ? source.folder : FolderOf(source.path);
  o.scriptPath = source.path;
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

RunVerdict PlaybackSession::Verdict(size_t titleColumns) const {
  RunEnd end;
  end.passes = player_ ? player_->Passes() : 0;
  if (!player_ || !player_->Finished()) {
    end.how = RunEnd::How::StoppedByUser;
  } else if (auto why = player_->WhyStopped()) {
    end.how = RunEnd::How::OnLine;
    end.why = *why;
  } else if (player_->EndedByError()) {
    end.how = RunEnd::How::Failed;
  } else if (player_->EndedBlocked()) {
    end.how = RunEnd::How::Blocked;
  } else {
    end.how = player_->StoppedByUser() ? RunEnd::How::StoppedByUser : RunEnd::How::Played;
  }
  return play::Verdict(end, titleColumns);
}

RunNotices PlaybackSession::TakeNotices() {
  RunNotices n;
  if (!player_) return n;
  n.seed = player_->TakeSeedNotice();
  n.screen = player_->TakeScreenNotice();
  const bool finished = player_->Finished();
  if (!finished) {
    n.wait = player_->WaitInProgress();
    n.inputBlocked = player_->InputBlocked();
    n.pause = player_->TakePauseNotice();
  }
  n.ended = finished && !std::exchange(endTold_, true);
  return n;
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
