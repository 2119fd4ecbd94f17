// The context of one run on the playback thread, and what the word families
// share through it.
//
// Play (play/run_play.cpp) reads a word, hands it to the family that plays
// it (play/word_families.h) and keeps the passes. A family acts on the Run:
// the schedule (when the next action is due), the reading position, the
// state of the window lines, the pictures read so far, the replayer and the
// services. It answers with a Step: read on from wherever the stream now
// stands, or end the run. Not for use outside the player.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/match.h"
#include "os/desktop.h"
#include "play/delay_draw.h"
#include "play/replay.h"
#include "play/run_debug.h"
#include "play/run_state.h"
#include "play/window_match.h"
#include "script/control_table.h"
#include "script/script_stream.h"
#include "script/word_reader.h"

namespace tesmuro::play {

namespace run_detail {
inline constexpr int64_t kMicrosPerSecond = 1000000;
// A wait looks at the screen this often.
inline constexpr int64_t kLookMicros = 20000;
// A wait for a picture looks this often, and never spends more than a tenth
// of the time on its looks.
inline constexpr int64_t kPictureLookMicros = 50000;
// A picture seen before is looked for first this far around its last place.
inline constexpr int32_t kNearMargin = 32;
// While a window is waited for to come to the front, it is asked to again
// after this long.
inline constexpr int64_t kActivateAgainMicros = 500000;
// Behind the schedule by more than this, the schedule restarts from now.
inline constexpr int64_t kStallMicros = 50000;
inline constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

inline bool IsKeyAction(script::ActionKind k) {
  using K = script::ActionKind;
  return k == K::KeyDown || k == K::KeyUp || k == K::SysKeyDown || k == K::SysKeyUp;
}
inline bool IsPointerAction(script::ActionKind k) {
  using K = script::ActionKind;
  switch (k) {
    case K::Move: case K::LeftDown: case K::LeftUp: case K::RightDown: case K::RightUp: case K::MiddleDown:
    case K::MiddleUp: case K::X1Down: case K::X1Up: case K::X2Down: case K::X2Up: case K::Wheel: case K::HWheel:
      return true;
    default:
      return false;
  }
}

// `seconds` after `start` on the microsecond clock, or kForever when that lies
// beyond the clock's range.
inline int64_t SecondsAfter(int64_t start, int64_t seconds) {
  if (seconds > (kForever - std::max<int64_t>(start, 0)) / kMicrosPerSecond) return kForever;
  return start + seconds * kMicrosPerSecond;
}
}  // namespace run_detail

// How a run ended on the playback thread.
enum class RunEnding { Normal, ConversionError, Blocked, ScriptStop };

// What a family answers for a word: read on from where the stream stands (a
// family that jumps has moved it), or end the run.
class Step {
 public:
  static Step Next() { return Step(); }
  static Step End(RunEnding ending) {
    Step s;
    s.end_ = ending;
    return s;
  }
  bool Ends() const { return end_.has_value(); }
  RunEnding ending() const { return *end_; }

 private:
  std::optional<RunEnding> end_;
};

// When the next action is due, on the clock's microseconds. Delays are
// divided by the speed; what a division leaves over is carried to the next
// delay, so the schedule keeps exact time at any speed. A random delay's
// length and the share are drawn first, on the delay as written: the
// schedule is the sum of the drawn delays.
struct Schedule {
  Schedule(uint64_t seed, int32_t sharePercent, int32_t speed) : draws(seed, sharePercent), speedPercent(speed) {}
  // Moves the due time on by `micros` of the script's time.
  void Advance(int64_t micros) {
    const int64_t scaled = micros * 100 + carry;
    due += scaled / speedPercent;
    carry = scaled % speedPercent;
  }
  int64_t due = 0;
  int64_t carry = 0;
  DelayDraws draws;
  int32_t speedPercent;
};

// The pass being played: whether it has read a word or paused on a delay
// yet, and whether its first input is still to come (the foreground window
// is looked at afresh then).
struct PassState {
  bool start = true;
  bool hadWord = false;
  bool hadDelay = false;
};

// What the window lines leave for the actions after them.
struct WindowState {
  // The window the next action acts on, as its line named it, and where that
  // line is; the last window matched, looked at first next time.
  std::optional<WindowTarget> pending;
  int64_t pendingOffset = -1;
  uint64_t lastMatched = 0;
  std::string lastMatchedFor;  // the title of the line it was matched for
  std::vector<uint64_t> steppedAside;  // our own windows, back when the run ends
};

// A picture a wait names, prepared for the search, and where it was found
// last in this run (its top-left corner).
struct Picture {
  std::unique_ptr<const image::Needle> needle;
  std::optional<image::Point> lastSeen;
};

// Where the control lines of the script being read stand: its table, the
// control line met next in the file's order, the loops being played.
struct Controls {
  // A 重复 being played: its line and how many more times it goes round
  // (kEndless: until left).
  struct Loop {
    static constexpr uint32_t kEndless = 0xFFFFFFFFu;
    uint32_t line;
    uint32_t left;
  };
  script::ControlTable table;
  uint32_t next = 0;
  std::vector<Loop> loops;
  void Restart() {
    next = 0;
    loops.clear();
  }
};

// A script a 调用 plays, and what its caller goes on with afterwards.
struct CallFrame {
  struct Close {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::string path;  // the called script, resolved (UTF-8)
  std::unique_ptr<std::FILE, Close> file;
  std::unique_ptr<script::FileByteStream> stream;  // reads `file`: declared after it, gone before it
  int64_t timesLeft = 0;  // plays still to go after this one
  // The caller's: where its reading goes on, its controls, its folder.
  script::FileByteStream* callerStream = nullptr;
  Controls callerControls;
  std::string callerFolder;
};

class Run {
 public:
  // Nothing here throws: the thread builds it before anything can fail.
  explicit Run(RunShared& s)
      : shared(s), sink(*s.sink), clock(*s.clock), options(s.options), file(s.file), replayer(*s.sink, s.options),
        schedule(*s.options.seed, s.options.delayJitterPercent, s.options.speedPercent), folder(s.options.scriptFolder) {}
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  bool Stopped() const { return shared.stopRequested.load(); }
  IDesktop* Desktop() const { return sink.Desktop(); }
  // Where in the script the line being played starts (as the stream tells).
  int64_t LineStart() const { return shared.lineOffset.load(); }
  // A wait's limit: its own, or the run's.
  int32_t LimitOf(int32_t seconds) const { return seconds > 0 ? seconds : options.waitLimitSeconds; }

  // Pauses here while a pause is requested, moving `due` on by the time paused.
  // False when a stop is requested.
  bool HonourPause(int64_t& due);
  // Waits until `due` (honouring pause), to the clock's best precision or,
  // when nothing is due then, without spending the processor on it. False
  // when a stop is requested.
  bool WaitForDue(int64_t& due, bool precise = true);

  // Looks with `ready` until it says yes, every `lookMicros`, for at most
  // `seconds` (0 or less: one look). A wait moves the schedule, and so every
  // later action, back by its own length. Pause and stop act within a look.
  enum class Looked { Ready, Stopped, TimedOut };
  Looked Await(const std::function<bool()>& ready, int32_t seconds, int64_t lookMicros = run_detail::kLookMicros);
  // The wait the next Await is for (set by its caller): shown once the
  // first look has not found it, updated as whole seconds pass, gone when
  // Await returns.
  void NextWaitIs(WaitProgress::Kind kind, std::string what, int64_t offset, int32_t limit);
  // Our own windows over `area` step aside for the run (the waits look at
  // what the user's windows show, never at ours); waits until they are gone,
  // for a second at most. False when a stop came meanwhile.
  bool ClearArea(const DesktopRect& area);
  // One of our own windows steps aside for the run, and comes back at its end.
  void StepAside(IDesktop& desktop, uint64_t window);

  // Before an input: looks at the foreground window at the start of a pass
  // and whenever it changed. False when the input does not reach it and the
  // run is to stop for that.
  bool InputMayGo();
  // The run stops on its script: why, where. A wait that ran out while an
  // 如果 asks about it does not stop the run: the condition is not met.
  Step StopOn(StopReason::Kind kind, int64_t offset, std::string what = {}, int32_t seconds = 0);

  RunShared& shared;
  IInputSink& sink;
  IPlayClock& clock;
  const RunOptions& options;
  std::FILE* const file;
  ActionReplayer replayer;
  Schedule schedule;
  // The reading position: the stream of the script being read, the run's
  // own (from the start of Play) or a called one's.
  script::FileByteStream* stream = nullptr;
  std::optional<script::FileByteStream> ownStream;
  // The control lines of the script being read; the calls being played,
  // innermost last.
  Controls controls;
  std::vector<CallFrame> calls;
  // The folder relative file names of the script being read are taken from.
  std::string folder;
  // An 如果's wait word is being played; whether what it waited for came.
  bool testing = false;
  bool conditionMet = true;
  // A positive delay or a wait has taken time since a loop last went round.
  bool tookTime = false;
  PassState pass;
  WindowState windows;
  // The pictures the waits named, by path.
  std::map<std::string, Picture> pictures;
  // Breakpoints, steps and the part played (play/run_debug.h).
  DebugPlace debug;

  // The line (from 1) of a byte of the script, counted on from the last one
  // asked for (the script is read again from the start only when the offset
  // goes back, as on a new pass); the reading position is kept. 0: unknown.
  int64_t LineOf(int64_t offset);

 private:
  void ShowWaited(int32_t seconds);
  bool StepAsideFrom(IDesktop& desktop, const DesktopRect& area);

  std::optional<WaitProgress> nextWait_;
  struct { int64_t offset = 0, line = 1; int prev = 0; } counted_;  // LineOf's place
  // The foreground window last looked at, and whether it takes our input.
  uint64_t foreground_ = 0;
  bool foregroundKnown_ = false;
};

// Plays the run's script to its end (play/run_play.cpp).
RunEnding Play(Run& run);

}  // namespace tesmuro::play
