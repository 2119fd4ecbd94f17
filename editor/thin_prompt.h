// The Edit menu's 精简移动: the texts of its dialog and command. Reading the
// tolerance and the status text are the script's (script/thin_moves.h), which
// the Linux program's thin command shares.
#pragma once

namespace tesmuro::editor {

// The user's texts (UTF-8).
inline constexpr char kThinCaption[] = "精简移动";
inline constexpr char kThinToleranceLabel[] = "容差（像素）(&T)：";
inline constexpr char kThinNotWhileRunning[] = "录制或播放时不能精简移动。";

}  // namespace tesmuro::editor
