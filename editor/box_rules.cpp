#include "editor/box_rules.h"

#include <algorithm>
#include <limits>

namespace tesmuro::editor {

int StepCount(int64_t rows, bool lastEmpty, int pendingLines) {
  if (lastEmpty && rows > 0) --rows;
  const int64_t steps = std::max<int64_t>(rows, 0) + std::max(pendingLines, 0);
  return static_cast<int>(std::min<int64_t>(steps, std::numeric_limits<int>::max()));
}

int64_t FirstRowToShow(int64_t row, int64_t firstVisible, int64_t rowsOnScreen) {
  if (row < 0) return -1;
  rowsOnScreen = std::max<int64_t>(rowsOnScreen, 1);
  if (row >= firstVisible && row < firstVisible + rowsOnScreen) return -1;
  return std::max<int64_t>(row - rowsOnScreen / 3, 0);
}

int LineNumberDigits(int64_t lines) {
  int digits = 1;
  for (int64_t n = std::max<int64_t>(lines, 1); n >= 10; n /= 10) ++digits;
  return std::max(digits, 3);
}

std::string LineAtCaret(std::string_view line, bool atLineStart, bool textAfter) {
  std::string text;
  if (!atLineStart) text = "\r\n";
  text += line;
  if (atLineStart || textAfter) text += "\r\n";
  return text;
}

LineChange ChangedLines(std::string_view before, std::string_view after) {
  const size_t common = std::min(before.size(), after.size());
  size_t start = 0;
  while (start < common && before[start] == after[start]) ++start;
  if (start == before.size() && start == after.size()) return {start, start, start};
  // Back to the start of the line the first difference is on.
  while (start > 0 && before[start - 1] != '\n') --start;
  size_t same = 0;  // bytes both end with, not reaching into the start
  while (same < common - start && before[before.size() - 1 - same] == after[after.size() - 1 - same]) ++same;
  // On to where a line starts in both texts: the shared end shrinks by the
  // same bytes in both, so it stays shared.
  auto lineStart = [start](std::string_view text, size_t at) { return at == start || text[at - 1] == '\n'; };
  while (same > 0 && !(lineStart(before, before.size() - same) && lineStart(after, after.size() - same))) --same;
  return {start, before.size() - same, after.size() - same};
}

int64_t LineAfterChange(int64_t line, int64_t first, int64_t oldLines, int64_t newLines) {
  if (line < first) return line;
  if (line >= first + oldLines) return line - oldLines + newLines;
  if (newLines <= 0) return first;
  return first + (line - first) * newLines / oldLines;
}

}  // namespace tesmuro::editor
