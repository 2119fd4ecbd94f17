// Which window a window line means, among those on the desktop now.
//
// A window matches a line when its program and class are the recorded ones
// (the program's name compared without regard to ASCII case). Among several,
// the one whose title is closest to the recorded title counts: the same
// title, then (for a title the line had to cut short) one that starts with
// it, then the longest common start; among equals the one in front.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "os/desktop.h"
#include "script/word_reader.h"

namespace tesmuro::play {

// A window line, read.
struct WindowTarget {
  std::string process, className, title;  // UTF-8
  bool titleCut = false;                  // the title is the start of a longer one
  DesktopRect rect;                       // where the window stood
};

// The window line's target; nothing for a line of another system or one
// that is not complete.
std::optional<WindowTarget> TargetOf(const script::Action& window, std::string_view system);

bool SameKind(const TopWindow& w, const WindowTarget& t);
// How close a title is to the target's: higher is closer.
int TitleCloseness(const std::string& title, const WindowTarget& t);
// The best match among `windows` (front first) that is visible and not
// minimised; nothing when none is.
std::optional<TopWindow> BestMatch(const std::vector<TopWindow>& windows, const WindowTarget& t);

}  // namespace tesmuro::play
