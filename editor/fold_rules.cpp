#include "editor/fold_rules.h"

#include <algorithm>

#include "script/control_table.h"
#include "script/script_format.h"
#include "script/word_reader.h"

namespace tesmuro::editor {

FoldKind FoldKindOf(std::string_view line) {
  size_t b = 0;
  while (b < line.size() && script::IsScriptSpace(static_cast<unsigned char>(line[b]))) ++b;
  size_t e = b;
  while (e < line.size() && !script::IsScriptSpace(static_cast<unsigned char>(line[e]))) ++e;
  const std::string_view word = line.substr(b, e - b);
  if (word == script::kKeywordMove || word == script::kKeywordRelMove) return FoldKind::Move;
  if (word == script::kKeywordDelay || word == script::kKeywordRandomDelay) return FoldKind::Delay;
  if (auto c = script::MatchControlWord(word)) {
    switch (*c) {
      case script::ControlWord::If:
      case script::ControlWord::IfNot:
      case script::ControlWord::Repeat: return FoldKind::Open;
      case script::ControlWord::Else: return FoldKind::Middle;
      case script::ControlWord::EndIf:
      case script::ControlWord::EndRepeat: return FoldKind::Close;
      default: break;
    }
  }
  return FoldKind::Other;
}

FoldLine NextFoldLine(FoldState before, FoldKind kind, FoldKind ahead) {
  FoldLine f;
  const int32_t d = std::clamp(before.depth, 0, kMaxFoldDepth);
  f.after.depth = d;
  f.level = d;
  switch (kind) {
    case FoldKind::Move:
      if (before.stretchMoves == 0) {
        // Its first line, which opens it when another move follows.
        f.after.stretchMoves = 1;
        f.header = ahead == FoldKind::Move;
      } else {
        f.level = d + 1;
        f.after.stretchMoves = 2;
      }
      break;
    case FoldKind::Delay:
      // A delay goes with the moves around it; alone it is a line like any other.
      if (before.stretchMoves > 0) {
        f.level = d + 1;
        f.after.stretchMoves = before.stretchMoves;
      }
      break;
    case FoldKind::Open:
      f.header = d < kMaxFoldDepth;
      f.after.depth = std::min(d + 1, kMaxFoldDepth);
      break;
    case FoldKind::Middle:
      // 否则 stands where its 如果 did and opens the other part.
      f.level = std::max(d - 1, 0);
      f.header = d > 0;
      break;
    case FoldKind::Close:
      // Inside the block it closes, so that it folds away with it.
      f.after.depth = std::max(d - 1, 0);
      break;
    case FoldKind::Other:
      break;
  }
  return f;
}

std::string MoveStretchText(int64_t moves) {
  std::string text(script::kKeywordMove);
  text += " \xA1\xC1 ";  // ×
  text += std::to_string(moves);
  return text;
}

}  // namespace tesmuro::editor
