// The About box's layout, in pixels at 96 dots per inch. Its window (class,
// caption, client size) is forms::kAboutBox.
#pragma once

#include "tesmuro_version.h"

namespace tesmuro::forms::about {

struct Rect { int left, top, width, height; };
struct Label { int left, top; const char* text; };

// The panel, with a lowered outer and a raised inner bevel.
inline constexpr Rect kPanel1{8, 8, 281, 161};
// Inside the panel: the program's picture, stretched to this frame.
inline constexpr Rect kProgramIcon{8, 8, 65, 57};
// Inside the panel: ProductName, Version and the author's line.
inline constexpr Label kLabels[] = {
    {88, 16, "Brastel"},
    {88, 40, "版本号：" TESMURO_VERSION},
    {8, 80, "作者：Tesmuro 开发组"},
    {8, 108, "设置文件所在的文件夹："},
};
// Inside the panel: that folder, on one line (shortened in its middle when
// it does not fit).
inline constexpr Rect kSettingsFolder{8, 128, 265, 16};
// On the box: the default button; it closes the box with result 1.
inline constexpr int kIdOKButton = 1;
inline constexpr Rect kOKButton{111, 180, 75, 25};
inline constexpr char kOKCaption[] = "确认(&OK)";

}  // namespace tesmuro::forms::about
