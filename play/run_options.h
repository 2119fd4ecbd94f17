// What a run is started with and how it ended: one record of options, read by
// the playback session, the playback thread and the replay of each word alike.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "play/file_source.h"
#include "play/input_sink.h"
#include "play/speed.h"

namespace tesmuro::play {

// The largest share, in percent, by which a delay may vary either way.
inline constexpr int32_t kMaxDelaySharePercent = 50;

// How a run repeats its script.
enum class LoopMode : int32_t {
  Count = 0,      // loopCount passes (at least one)
  UntilStop = 1,  // until stopped
  Timed = 2,      // until loopTotalSeconds have passed, checked at the end of a pass
};

// Lines of a script as byte offsets: [start, end) and the first line's
// number (from 1). An end of -1 is the end of the script.
struct LineSpan {
  int64_t start = 0;
  int64_t end = -1;
  int64_t line = 1;
  bool operator==(const LineSpan&) const = default;
};

// Everything a run is started with.
struct RunOptions {
  LoopMode loopMode = LoopMode::Count;
  int32_t loopCount = 1;          // passes in the count mode
  int64_t loopTotalSeconds = 0;   // length of the timed mode; 0 or less: one pass
  bool shutAfterLoops = false;    // shutdown at the end of a run not stopped by the user
  int64_t shutTotalSeconds = 0;   // running time after which shutAfterElapsed applies (> 0)
  bool shutAfterElapsed = false;
  ControllerDelivery controller;  // how controller words are delivered
  // Speed in percent of the recorded pace (every delay divided by
  // speedPercent / 100), kept within kMinSpeedPercent..kMaxSpeedPercent.
  int32_t speedPercent = kNormalSpeedPercent;
  bool gameMode = false;          // keys go as scan codes only
  bool scaleToScreen = false;     // moves recorded on another screen are mapped onto this one
  // A run whose input the system drops on its way to the foreground window
  // (an elevated program's) ends at once instead of playing on unheard; for
  // an unattended run.
  bool stopWhenBlocked = false;
  // Positions follow a window that stands elsewhere than it was recorded.
  bool followWindows = true;
  // The longest wait for a window or a colour, in seconds (0: never wait,
  // only follow); a wait word's own limit takes its place.
  int32_t waitLimitSeconds = 10;
  // Every delay varies by up to this share either way, in percent
  // (0..kMaxDelaySharePercent).
  int32_t delayJitterPercent = 0;
  // The random draws (random delays and the share above) start from this
  // seed, so that a run can be repeated exactly; none: a fresh seed each run.
  std::optional<uint64_t> seed;
  // The folder relative picture files are taken from (UTF-8): the script's;
  // empty: the current folder. PlaybackSession::Start fills it in.
  std::string scriptFolder;
  // The script's own file (UTF-8), so that a 调用 of it is known for what it
  // is; empty for the box's text.
  std::string scriptPath;
  // The script box's own runs (play/run_debug.h): the run can be stepped a
  // line at a time, and pauses before each line in `breakpoints` (sorted by
  // start, one line each).
  bool debuggable = false;
  std::vector<LineSpan> breakpoints;
  // The part of the script played: from `part.start` (a line's start; the
  // lines before it only set the window and screen that apply, as if they had
  // been played) up to `part.end` (-1: the end). Passes repeat that part.
  LineSpan part;
  // Where the pictures and called scripts are read from; none: the disk.
  std::shared_ptr<const IFileSource> files;
  bool operator==(const RunOptions&) const = default;
};

// What one run is asked besides the settings (a command line's options, for
// that run only); RunOptionsFor (setup/settings.h) puts it in their place.
struct RunRequest {
  std::optional<int32_t> loops;         // that many passes
  bool untilStop = false;               // until stopped
  std::optional<int64_t> forSeconds;    // for that long
  std::optional<int32_t> speedPercent;  // at that speed
  bool gameMode = false;                // on for this run (off: as the settings say)
  bool scaleToScreen = false;           // on for this run (off: as the settings say)
  std::optional<int32_t> waitLimitSeconds;  // the longest wait for a window or colour
  std::optional<uint64_t> seed;             // the random draws' seed
  bool stopWhenBlocked = false;
  bool withShutdown = true;             // the settings' shutdown applies
  bool operator==(const RunRequest&) const = default;
};

// The script a run plays: a file, or the script box's text as it stands
// (GBK bytes), which the run plays from a copy of its own, so that editing the
// box during the run changes nothing of it.
struct ScriptSource {
  std::string path;   // UTF-8; empty: `bytes` is the script
  std::string bytes;
  // For `bytes`: the folder its relative picture files are in (the box's
  // file's, when it has one); empty: the current folder. A file's is its own.
  std::string folder;
  // The box shows this script (its own text, or its file as loaded or saved
  // and unchanged since): the run tells the box which line it plays.
  bool shownInBox = false;

  static ScriptSource File(std::string path, bool shownInBox = false) {
    return {std::move(path), {}, {}, shownInBox};
  }
  static ScriptSource Box(std::string bytes, std::string folder = {}) {
    return {{}, std::move(bytes), std::move(folder), true};
  }
};

}  // namespace tesmuro::play
