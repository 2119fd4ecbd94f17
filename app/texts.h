// The texts the program shows, in UTF-8.
#pragma once

namespace tesmuro::text {

inline constexpr char kAppTitle[] = "Tesmuro";
inline constexpr char kNotice[] = "系统提示";
inline constexpr char kCannotOpenInputSettings[] = "不能打开输入参数文件！";
inline constexpr char kCannotOpenOutputSettings[] = "不能打开输出参数文件！";
inline constexpr char kAskNew[] = "是否放弃当前文件，新建新的记录文件？";
inline constexpr char kCannotOpenScript[] = "不能打开动作记录文件！";
inline constexpr char kTwoJoysticksOnly[] = "本系统只支持2个摇杆！";
inline constexpr char kStepCounterPrefix[] = "录制了";
inline constexpr char kStepCounterSuffix[] = "步";
inline constexpr char kCaptionPrefix[] = "Tesmuro - ";

}  // namespace tesmuro::text
