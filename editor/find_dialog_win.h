// The script box's small dialogs: Find, Go to line and the tolerance of
// 精简移动, in Chinese like the rest of the program, built from templates in
// memory.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tesmuro::editor {

struct FindOptions {
  std::wstring what;
  bool matchCase = false;
  bool wholeWord = false;
  bool up = false;
};

// Shows the Find dialog modally over `owner`. Each press of 查找下一个
// calls `findNext` with the options as they stand (which are also kept in
// `options` for F3); returns when the dialog is closed.
void RunFindDialog(HWND owner, FindOptions& options, const std::function<void(const FindOptions&)>& findNext);

// Shows the Go to line dialog; the chosen line, 1 to `lineCount`, or nothing
// when cancelled. A number out of range is refused with a message and the
// dialog stays open.
std::optional<int64_t> RunGoToLineDialog(HWND owner, int64_t currentLine, int64_t lineCount);

// Asks for the tolerance of 精简移动 in pixels, `initial` filled in; the
// tolerance, or nothing when cancelled. An entry that is not a whole number
// in range is refused with a message and the dialog stays open.
std::optional<int32_t> RunThinToleranceDialog(HWND owner, int32_t initial);

}  // namespace tesmuro::editor
