#include "editor/thin_prompt.h"

#include "script/thin_moves.h"

namespace tesmuro::editor {

std::optional<int32_t> ParseThinTolerance(std::string_view typed) {
  auto space = [](char c) { return c == ' ' || c == '\t'; };
  while (!typed.empty() && space(typed.front())) typed.remove_prefix(1);
  while (!typed.empty() && space(typed.back())) typed.remove_suffix(1);
  if (typed.empty()) return std::nullopt;
  int64_t n = 0;
  for (char c : typed) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
    if (n > script::kMaxThinTolerance) return std::nullopt;  // stops long before any overflow
  }
  return static_cast<int32_t>(n);
}

std::string ThinToleranceRefusal() {
  return "容差无效：请输入 0 到 " + std::to_string(script::kMaxThinTolerance) + " 之间的整数（像素）。";
}

std::string ThinStatusText(size_t removedLines, size_t keptLines) {
  return "删除了 " + std::to_string(removedLines) + " 行，剩 " + std::to_string(keptLines) + " 行";
}

}  // namespace tesmuro::editor
