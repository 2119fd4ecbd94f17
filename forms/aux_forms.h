// Layouts of the other windows, in pixels at 96 dots per inch.
#pragma once

namespace tesmuro::forms {

struct FormSpec {
  const char* className;
  const char* caption;
  int clientWidth;
  int clientHeight;
};

inline constexpr FormSpec kSoftwareSetup{"TFrmSoftwareSetup", "软件设置对话框", 322, 334};
inline constexpr FormSpec kAboutBox{"TAboutBox", "关于本软件(About)", 298, 213};
inline constexpr FormSpec kMirco{"TFrmMirco", "微型录制播放动作界面", 240, 24};

// The dialogs' font: SimSun at 9 points.
inline constexpr char kDialogFontName[] = "宋体";
inline constexpr int kDialogFontHeight = -12;

namespace mirco {
inline constexpr int kIdLblInfo = 150;
inline constexpr int kLblLeft = 136, kLblTop = 8, kLblWidth = 97, kLblHeight = 12;
inline constexpr char kLblInitial[] = "录制了0步";
}  // namespace mirco

}  // namespace tesmuro::forms
