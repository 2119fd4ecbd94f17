// The playback thread's own state and the helpers its two files share
// (run_thread.cpp: the run; run_waits.cpp: the waits for windows, colours and
// pictures). Not for use outside the player.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "image/match.h"
#include "os/desktop.h"
#include "play/replay.h"
#include "play/run_thread.h"
#include "play/window_match.h"
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

// Each channel of two 0xRRGGBB colours within `tolerance` of the other.
inline bool ColorsClose(uint32_t a, uint32_t b, int32_t tolerance) {
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || -d > tolerance) return false;
  }
  return true;
}

inline std::string Hex6(uint32_t color) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s(6, '0');
  for (int i = 5; i >= 0; --i, color >>= 4) s[static_cast<size_t>(i)] = kDigits[color & 0xF];
  return s;
}
inline constexpr int64_t kForever = std::numeric_limits<int64_t>::max();

// `seconds` after `start` on the microsecond clock, or kForever when that lies
// beyond the clock's range.
inline int64_t SecondsAfter(int64_t start, int64_t seconds) {
  if (seconds > (kForever - std::max<int64_t>(start, 0)) / kMicrosPerSecond) return kForever;
  return start + seconds * kMicrosPerSecond;
}
// Where a picture last seen at `last` (its top-left corner) is looked for
// first: its place widened by kNearMargin on each side, within `area`;
// nothing when that is not much smaller than the area.
std::optional<DesktopRect> NearLastPlace(const image::Point& last, int32_t width, int32_t height,
                                         const DesktopRect& area);
}  // namespace run_detail

// Everything the thread touches. The object and the thread each hold it; the
// settings are the run's own copies, taken at the start.
struct TRunThread::State {
  State(std::shared_ptr<IInputSink> s, std::shared_ptr<IShutdownRequester> sd, std::unique_ptr<IPlayClock> c)
      : sink(std::move(s)), shutdown(std::move(sd)), clock(std::move(c)) {}

  enum class Ending { Normal, ConversionError, Blocked, ScriptStop };
  void Main() noexcept;
  Ending Play();
  // Pauses here while a pause is requested, moving `due` on by the time paused.
  // False when a stop is requested.
  bool HonourPause(int64_t& due);
  // Waits until `due` (honouring pause), to the clock's best precision or,
  // when nothing is due then, without spending the processor on it. False
  // when a stop is requested.
  bool WaitForDue(int64_t& due, bool precise = true);
  // Looks with `ready` until it says yes, every kLookMicros, for at most
  // `seconds` (0 or less: one look). A wait moves `due`, and so every later
  // action, back by its own length. Pause and stop act within a look.
  enum class Looked { Ready, Stopped, TimedOut };
  Looked Await(const std::function<bool()>& ready, int32_t seconds, int64_t& due,
               int64_t lookMicros = run_detail::kLookMicros);
  // The waits before an action: its window, if a window line named one, or
  // what a wait word asks. Ready: the action may go.
  Looked AwaitWindow(const script::Action& next, int64_t& due);
  Looked AwaitTitle(const script::Action& wait, int64_t& due);
  Looked AwaitColor(const script::Action& wait, int64_t& due);
  // A picture a wait names, prepared for the search, and where it was found
  // last in this run (its top-left corner).
  struct Picture {
    std::unique_ptr<const image::Needle> needle;
    std::optional<image::Point> lastSeen;
  };
  // Where a picture wait looks, in screen pixels: its area cut to the screen,
  // or the screen (empty when neither is known).
  DesktopRect PictureArea(const script::Action& wait);
  // Waits for the picture in `area`: where it was found, in screen pixels
  // (its top-left corner).
  Looked AwaitImage(const script::Action& wait, Picture& picture, const DesktopRect& area, int64_t& due,
                    image::Point& found);
  // The picture a wait names, read once per run. Null when it is missing,
  // damaged or (with `limited`) larger than `area`, with the reason for the
  // user in `why` (empty for a missing file); also null when a stop came
  // while it was being prepared.
  Picture* PictureOf(const std::string& name, const DesktopRect& area, bool limited, std::string& why);
  // The wait the next Await is for (set by its caller): shown once the
  // first look has not found it, updated as whole seconds pass, gone when
  // Await returns.
  void NextWaitIs(WaitProgress::Kind kind, std::string what, int64_t offset, int32_t limit);
  void ShowWaited(int32_t seconds);
  // The line (from 1) of a byte of the script, counted on from the last one
  // asked for (the script is read again from the start only when the offset
  // goes back, as on a new pass); the reading position is kept. 0: unknown.
  int64_t LineOf(int64_t offset);
  // Our own windows over `area` step aside for the run (the waits look at
  // what the user's windows show, never at ours); waits until they are gone,
  // for a second at most. False when a stop came meanwhile.
  bool ClearArea(const DesktopRect& area, int64_t& due);
  // The run stops on its script: why, where.
  Ending StopOn(StopReason::Kind kind, int64_t offset, std::string what = {}, int32_t seconds = 0);
  int32_t LimitOf(int32_t seconds) const { return seconds > 0 ? seconds : options.waitLimitSeconds; }
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
  std::optional<WaitProgress> nextWait;      // the run thread's own
  std::optional<WaitProgress> waitShown;     // guarded by noticeLock
  struct { int64_t offset = 0, line = 1; int prev = 0; } counted;  // LineOf's place
  std::atomic<bool> drew{false};      // the run drew a random delay or share
  std::atomic<bool> seedTold{false};  // TakeSeedNotice() gave the seed

  // The window the next action acts on, as its line named it, and where that
  // line is; the last window matched, looked at first next time.
  std::optional<WindowTarget> pendingWindow;
  int64_t pendingOffset = -1;
  uint64_t lastMatched = 0;
  std::string lastMatchedFor;  // the title of the line it was matched for
  std::vector<uint64_t> steppedAside;  // our own windows, back when the run ends
  // Asks our own windows over `area` to step aside; true while any is there.
  bool StepAsideFrom(IDesktop& desktop, const DesktopRect& area);
  // The pictures the waits named, by path.
  std::map<std::string, Picture> pictures;

  // The foreground window last looked at, and whether it takes our input.
  uint64_t foreground = 0;
  bool foregroundKnown = false;
  // Looks at the foreground window when `force` or when it changed; true
  // when the input reaches it.
  bool CheckForeground(bool force);

  ActionReplayer* replayer = nullptr;  // the run's, while it plays (player thread only)
};

}  // namespace tesmuro::play
