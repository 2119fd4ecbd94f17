// Folding in the script box: which lines open and close a block that folds
// away, and how deep each line stands. Portable, so that the rules are tested
// without a window.
//
// Blocks are 如果/如果不 ... 否则 ... 结束如果 and 重复 ... 结束重复; a line that
// closes a block belongs to it (folded, the opening line stands for all of
// it). A stretch of recorded moves (移动 and 相对移动 lines, with the delays
// between them) that holds at least two moves folds as one block too, so a
// recorded script reads as its clicks and keys.
//
// The box works out a line's fold from the state the line before it left and,
// for a move that may open a stretch, the first line after it that is not a
// delay, so only the lines it shows need it, in the order it styles them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tesmuro::editor {

// What a line is to folding, by its first word.
enum class FoldKind : uint8_t { Other, Move, Delay, Open, Middle, Close };
FoldKind FoldKindOf(std::string_view line);

// What one line leaves for the next: the blocks open, and the moves of the
// stretch it is in (0: none; counted up to 2, all that matters).
struct FoldState {
  int32_t depth = 0;
  int32_t stretchMoves = 0;
  int32_t Pack() const { return depth << 2 | stretchMoves; }
  static FoldState Unpack(int32_t v) { return {v >> 2, v & 3}; }
  bool operator==(const FoldState&) const = default;
};

// The deepest nesting folds show; deeper blocks fold with the one around them.
inline constexpr int32_t kMaxFoldDepth = 1000;

struct FoldLine {
  int32_t level = 0;       // 0 for the outermost lines
  bool header = false;     // the line opens a block: the lines after it at a deeper level fold into it
  FoldState after;         // what the next line starts from
};

// The fold of a line of `kind` after a line that left `before`. `ahead`: the
// kind of the first line after it that is not a delay (Other at the end of
// the text); it matters only to a move that may open a stretch.
FoldLine NextFoldLine(FoldState before, FoldKind kind, FoldKind ahead = FoldKind::Other);

// The most delay lines looked past for the next move; a move further away
// opens a stretch all the same (a stretch of delays then, harmless).
inline constexpr int kMaxDelaysAhead = 64;

// The text shown after a folded stretch of `moves` moves: "移动 × 312" (GBK).
std::string MoveStretchText(int64_t moves);

}  // namespace tesmuro::editor
