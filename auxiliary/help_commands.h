// What the Help menu's commands need: the help file beside the program and
// the author's home page, their texts and the path rule.
#pragma once

#include <string>

namespace tesmuro::help {

// The compiled help file's name; only the folder follows the program.
inline constexpr char kHelpFileName[] = "Quorlin.chm";
// The author's home page, opened in Internet Explorer by name.
inline constexpr char kHomePage[] = "https://tesmuro.example/";
inline constexpr char kBrowser[] = "iexplore";

// The box shown when the help file is missing: this text directly followed
// by the full path, under the notice caption.
inline constexpr char kCannotOpenHelp[] = "不能打开帮助文件";
inline constexpr char kNoticeCaption[] = "系统提示";

// The help file's full path: the program's folder (its separator added when
// missing) followed by the help file's name.
std::string HelpFilePath(const std::string& exeDirectory);

// True when a file (not a folder) exists at the UTF-8 path.
bool HelpFileExists(const std::string& utf8Path);

}  // namespace tesmuro::help
