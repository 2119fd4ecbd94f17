// The script box's own runs as a debugger has them: a pause before each line
// with a breakpoint, a step of one line at a time, and a run of part of the
// script (from the caret's line, or the selected lines).
//
// Play calls BeforeWord() before it reads each word; it costs nothing in a
// run that is not the box's. The word's line is found by skipping the white
// space in front of it, so the line marked while the run is paused is the
// one that plays next.
//
// A breakpoint pauses the run as Pause does (play/run_thread.h: held keys and
// buttons are let go, the schedule moves on by the time paused), once each
// time the run comes to its line. Step() while paused lets the run play on up
// to the next word's line and pauses it there again; from a pause inside a
// delay, that is the rest of the delay's line.
//
// Part of the script: before the first word, the lines before the part's
// start are read without playing them; the last window line among them
// applies to the first input played (unless a screen line came after it) and
// the last screen line maps the moves, as if the run had come from the top.
// A pass ends at the part's end, and the next one starts at its start again.
// Control blocks: a part that starts inside one plays from there (the player
// of the control words takes the start from RunOptions::part).
#pragma once

#include <cstdint>

namespace tesmuro::play {

class Run;

// What the run keeps for it between words.
struct DebugPlace {
  bool started = false;        // the lines before the part have been read
  int64_t lastWord = -1;       // where the last word started
};

void BeforeWord(Run& run);

}  // namespace tesmuro::play
