// Why a run ended on something in its script, for the user to be told: the
// line (counted from 1) and what happened there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tesmuro::play {

struct StopReason {
  enum class Kind {
    BadCode,        // a key or wheel code that is not a number
    BadColor,       // a colour that is not RRGGBB
    WindowTimedOut, // a window that did not come in time: `what` is its title
    ColorTimedOut,  // a colour that did not come in time: `what` is RRGGBB
    ImageTimedOut,  // a picture that did not show in time: `what` is its file as written
    ImageUnreadable,  // a picture file that is missing or not a PNG: `what` is its file
    BadDelayRange,  // a random delay that is not "MIN,MAX" whole milliseconds, MIN <= MAX
    BadText,        // a quoted text with an escape the script format does not have
    BadTypeInterval,  // a typed text's pause that is not whole milliseconds 0..60000
    TypedTextCut,     // a typed text with no closing quote within the reader's word
    BadStructure,     // blocks, labels or calls that do not fit, found before the run: `what` says how
    CallFailed,       // a 调用 that cannot be played when it comes: `what` says why
    KeyTimedOut,      // the user did not press the key in time: `what` is the key's name
    BadKeyName,       // a key to wait for that has no name or one no key has: `what` is it as written
    BadKeyWaitSeconds,  // the seconds of a wait for a key that are not whole seconds
  };
  Kind kind = Kind::BadCode;
  int64_t offset = 0;    // where in the script (a byte within the line)
  int64_t line = 0;      // the line, counted from 1 (0 until counted)
  std::string what;      // UTF-8
  int32_t seconds = 0;   // how long it waited
  bool operator==(const StopReason&) const = default;
  // What a stop of this kind means, as the run's verdict judges it
  // (play/run_front.h): a wait that ran out of time, or a line the player
  // cannot play (the run ends as an error).
  bool TimedOut() const;
  bool Unplayable() const { return !TimedOut(); }
};

// "第 N 行：..." as the status bar and the Linux program say it (UTF-8): the
// run's verdict's text.
// With `titleColumns`, a title or file name wider than that many columns (a
// CJK character takes two) is cut short with "…", so that the line and the
// reason after it fit a narrow place.
std::string StopReasonText(const StopReason& r, size_t titleColumns = SIZE_MAX);

// A wait in progress: what it waits for, where, how long so far.
struct WaitProgress {
  enum class Kind { Window, Color, Image, Key };
  Kind kind = Kind::Window;
  std::string what;      // the title, RRGGBB, the picture's file as written or the key's name (UTF-8)
  int64_t line = 0;      // counted from 1; 0: not known
  int32_t elapsed = 0;   // whole seconds waited (pauses not counted)
  int32_t limit = 0;     // seconds; 0 for a key awaited without a limit
  bool operator==(const WaitProgress&) const = default;
};
// A run of the box's that paused on its own before a line: at a breakpoint,
// or after a step.
struct PauseNotice {
  int64_t line = 0;  // counted from 1
  bool breakpoint = false;
  bool operator==(const PauseNotice&) const = default;
};
// "断点：第 N 行" at a breakpoint, "单步：第 N 行" after a step.
std::string PauseNoticeText(const PauseNotice& p);

// "第 N 行：等待窗口“标题”… 3/10 秒" (等待颜色 RRGGBB, 等待图像“文件”, 等待按键 F8;
// "… 3 秒" for a key without a limit), the title cut to `titleColumns` as
// above.
std::string WaitProgressText(const WaitProgress& w, size_t titleColumns = SIZE_MAX);

// `utf8` cut to at most `columns` display columns (a character of U+1100 and
// above takes two), ending with "…" when it was cut; whole characters only.
std::string ShortenTitle(std::string_view utf8, size_t columns);

}  // namespace tesmuro::play
