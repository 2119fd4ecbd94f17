// The texts the program shows, in UTF-8.
#pragma once

#include <string>

#include "play/run_texts.h"
#include "ui/message_box.h"

namespace tesmuro::text {

inline constexpr char kCannotOpenInputSettings[] = "不能打开输入参数文件！";
inline constexpr char kCannotOpenOutputSettings[] = "不能打开输出参数文件！";
inline constexpr char kAskNew[] = "是否放弃当前文件，新建新的记录文件？";
inline constexpr char kCannotOpenScript[] = "不能打开动作记录文件！";
// 播放当前动作记录 with an empty script box.
inline constexpr char kNothingToPlay[] = "当前动作记录是空的，没有可以播放的动作。";
inline constexpr char kTwoJoysticksOnly[] = "本系统只支持2个摇杆！";
inline constexpr char kStepCounterPrefix[] = "录制了";
inline constexpr char kStepCounterSuffix[] = "步";
inline constexpr char kCaptionPrefix[] = "Tesmuro - ";
// The fourth status bar panel while a player runs, and the third when the
// keyboard hook had been removed by the system.
inline constexpr char kEmergencyStopHint[] = "按 Pause 键可紧急停止";
inline constexpr char kKeyHookReinstalled[] = "键盘钩子已失效，已重新安装";
inline constexpr char kInputBlocked[] = "目标窗口以管理员身份运行，回放的输入被系统拦截";
// A script recorded on a screen of another size, played without the mapping
// (the Linux program tells it too).
using play::ScreenNotMapped;
inline constexpr char kAskSaveChanges[] = "动作记录已修改，是否保存修改？";
inline constexpr char kAskRecover[] =
    "上次录制的动作记录没有保存（程序未正常结束）。\n是否恢复这份动作记录？";
inline constexpr char kScriptTooBig[] = "文件太大，不能载入：\n";
inline constexpr char kScriptNoMemory[] = "内存不足，不能载入文件：\n";

// Asked before a save that would turn `count` characters into '?'.
inline std::string UnencodableCharacters(int count) {
  return "动作记录中有 " + std::to_string(count) +
         " 个字符不能用 GBK 编码保存，保存后它们将变成“?”。\n仍然保存吗？";
}

// 导出为程序...
inline constexpr char kExportNotWhileRunning[] = "录制或播放时不能导出。";
inline constexpr char kExportAskSaveFirst[] = "导出的是保存在文件中的动作记录，需要先保存。\n现在保存吗？";
inline constexpr char kExportFailed[] = "无法导出：";
inline constexpr char kExportTitle[] = "导出为程序";

}  // namespace tesmuro::text
