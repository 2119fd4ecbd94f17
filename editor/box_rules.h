// Rules of the script box that do not depend on the window system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tesmuro::editor {

// The step count the mini window shows: the rows the box's lines fill, as
// shown (a wrapped line counts once for each row), where a final empty line
// (the row after the last line break) does not count, plus lines appended
// but not yet handed to the box.
//   rows        rows of all lines, the last one included
//   lastEmpty   the last line has no text (the text is empty or ends with a
//               line break)
int StepCount(int64_t rows, bool lastEmpty, int pendingLines);

// Keeping the played line in view without fighting the user for every row:
// the view moves only when the row has left it, and then puts the row a
// third of the way down. Returns the new first visible row, or -1 when the
// view stays where it is.
int64_t FirstRowToShow(int64_t row, int64_t firstVisible, int64_t rowsOnScreen);

// Digits the line-number margin needs for `lines` lines (at least 3, so the
// margin does not change width for small scripts).
int LineNumberDigits(int64_t lines);

// A whole line put in at the caret, as the text that goes in there: a line
// break before it when the caret is not at the start of its line, and one
// after it when the caret is (the line there moves down) or when text
// follows the caret on its line. CR LF, as the box writes them.
std::string LineAtCaret(std::string_view line, bool atLineStart, bool textAfter);

// Where two texts differ, in whole lines: `before` from `start` to `oldEnd`
// became `after` from `start` to `newEnd`; what lies before `start` and from
// the ends on is the same in both. Each bound is at a line start (after a
// LF) or at a text's end. Equal texts give an empty change at their end.
struct LineChange {
  size_t start = 0;
  size_t oldEnd = 0;
  size_t newEnd = 0;
};
LineChange ChangedLines(std::string_view before, std::string_view after);

// A line of the text before a change, in the text after it: lines outside
// the change keep their place (shifted by the lines it added or took away);
// a line inside it goes to the line as far through the new lines as it was
// through the old. `first` is the change's first line, `oldLines` and
// `newLines` the lines it covered before and covers now.
int64_t LineAfterChange(int64_t line, int64_t first, int64_t oldLines, int64_t newLines);

}  // namespace tesmuro::editor
