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

}  // namespace tesmuro::editor
