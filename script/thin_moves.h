// Thinning of recorded mouse paths: the `移动` lines that add nothing to the
// path the pointer takes are taken out after the recording.
//
// A run is a sequence of absolute `移动 x,y` lines, each with the `延迟` lines
// directly before it, between two other lines (any other word, a comment, a
// blank line, a line the thinner does not read as a plain delay or move). Each
// run is simplified on its own, Douglas-Peucker style: its first and last move
// stay, and a move goes when it lies within the tolerance of the straight
// segment between the moves kept around it. The delays of a removed move are
// added to the next kept move's delay (its last delay line, or a new delay line
// when it has none), so every action keeps its time and the total stays the
// same. A move whose delay could not be carried without passing the largest
// delay a line holds is kept instead. Every line that is not taken out or
// given a delay is written back byte for byte, with its own line end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tesmuro::script {

inline constexpr int32_t kDefaultThinTolerance = 2;  // pixels
inline constexpr int32_t kMaxThinTolerance = 10000;

struct ThinResult {
  std::string bytes;        // the script with the moves taken out (GBK bytes; every other line byte for byte as it was, line ends kept)
  size_t removedLines = 0;  // lines taken out (a removed move line and the delay line(s) folded into the next kept line's delay)
  size_t keptLines = 0;     // lines left
};

// Removes each `移动 x,y` line that lies within `tolerancePx` of the straight path between the lines kept around it,
// each run of moves between two other actions on its own (the first and last move of a run always stay);
// the delays before a removed move are added to the next kept line's delay, so the total time, the time of every
// other action and every position where something acts stay exactly as recorded.
// A tolerance below 0 is taken as 0, above kMaxThinTolerance as kMaxThinTolerance.
ThinResult ThinMoves(std::string_view script, int32_t tolerancePx);

// The tolerance as the user types it (UTF-8), in the editor's dialog or on
// the Linux command line: a whole number of pixels from 0 to
// kMaxThinTolerance, spaces around it allowed; nothing for any other entry.
std::optional<int32_t> ParseThinTolerance(std::string_view typed);

// Why an entry was refused, naming the range.
std::string ThinToleranceRefusal();

// What thinning did, for the status bar and the console: 删除了 N 行，剩 M 行.
std::string ThinStatusText(size_t removedLines, size_t keptLines);

}  // namespace tesmuro::script
