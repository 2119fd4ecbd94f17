// What the main window's picture capture decides on its own: where the
// picture goes, the name it proposes and the line that waits for it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "os/desktop.h"

namespace tesmuro::capture {

// The user's texts (UTF-8).
inline constexpr char kAskSaveScriptFirst[] =
    "截取的图像保存在动作记录文件所在的文件夹。\n请先保存动作记录。";
inline constexpr char kNotWhileRunning[] = "录制或播放时不能截取图像。";
inline constexpr char kCannotSavePicture[] = "不能保存图像文件：\n";

// The first of 图像1.png, 图像2.png, ... that is not in `folder`; `exists`
// is asked with each candidate's full path.
std::string ProposeName(std::string_view folder, const std::function<bool(const std::string&)>& exists);
// `path` as the script names it: relative to `folder` when it lies inside
// (ASCII letters compared without case, either separator), else as it is.
std::string NameInFolder(std::string_view folder, std::string_view path);
// 等待图像 "NAME" 0 SECONDS left,top,width,height (GBK). `name` is UTF-8.
std::string WaitImageLine(std::string_view name, int32_t seconds, const DesktopRect& area);

}  // namespace tesmuro::capture
