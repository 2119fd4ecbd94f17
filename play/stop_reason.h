// Why a run ended on something in its script, for the user to be told: the
// line (counted from 1) and what happened there.
#pragma once

#include <cstdint>
#include <string>

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
  };
  Kind kind = Kind::BadCode;
  int64_t offset = 0;    // where in the script (a byte within the line)
  int64_t line = 0;      // the line, counted from 1 (0 until counted)
  std::string what;      // UTF-8
  int32_t seconds = 0;   // how long it waited
  bool operator==(const StopReason&) const = default;
  // A wait that ran out of time (the exit code of an unattended run tells it apart).
  bool TimedOut() const {
    return kind == Kind::WindowTimedOut || kind == Kind::ColorTimedOut || kind == Kind::ImageTimedOut;
  }
};

// "第 N 行：..." as the status bar and the Linux program say it (UTF-8).
std::string StopReasonText(const StopReason& r);

}  // namespace tesmuro::play
