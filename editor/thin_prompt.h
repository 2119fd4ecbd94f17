// The Edit menu's 精简移动 as far as it does not depend on the window
// system: the tolerance the user types and the texts the command shows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tesmuro::editor {

// The user's texts (UTF-8).
inline constexpr char kThinCaption[] = "精简移动";
inline constexpr char kThinToleranceLabel[] = "容差（像素）(&T)：";
inline constexpr char kThinNotWhileRunning[] = "录制或播放时不能精简移动。";

// The tolerance as typed in the dialog (UTF-8): a whole number of pixels
// from 0 to kMaxThinTolerance, spaces around it allowed; nothing for any
// other entry.
std::optional<int32_t> ParseThinTolerance(std::string_view typed);

// Why an entry was refused, naming the range.
std::string ThinToleranceRefusal();

// The status bar after thinning: 删除了 N 行，剩 M 行.
std::string ThinStatusText(size_t removedLines, size_t keptLines);

}  // namespace tesmuro::editor
