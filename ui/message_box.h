// Message boxes as every window of the program shows them: styles and
// results with the system's values, and the two captions.
#pragma once

namespace tesmuro {

enum : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
  kMbIconError = 0x10,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
};
enum : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

namespace text {
// The application's title: the caption of the standard error box.
inline constexpr char kAppTitle[] = "Tesmuro";
// The caption of the program's own message boxes.
inline constexpr char kNotice[] = "系统提示";
}  // namespace text

}  // namespace tesmuro
