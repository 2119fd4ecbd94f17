// Layouts of the other windows, in pixels at 96 dots per inch.
#pragma once

#include "forms/main_form.h"

namespace tesmuro::forms {

struct FormSpec {
  const char* className;
  const char* caption;
  int clientWidth;
  int clientHeight;
};

inline constexpr FormSpec kSoftwareSetup{"TFrmSoftwareSetup", "软件设置对话框", 362, 432};
inline constexpr FormSpec kAboutBox{"TAboutBox", "关于本软件(About)", 298, 213};
inline constexpr FormSpec kMirco{"TFrmMirco", "微型录制播放动作界面", 240, 24};

// The dialogs' font: SimSun at 9 points.
inline constexpr char kDialogFontName[] = "宋体";
inline constexpr int kDialogFontHeight = -12;

namespace mirco {
inline constexpr int kIdLblInfo = 150;
// The picture buttons run the main window's
// command of the same name.
enum ButtonId : int { kIdSBRecord = 151, kIdSBProc, kIdSBPause, kIdSBStop, kIdSBSave };
inline constexpr int kButtonTop = 1, kButtonWidth = 23, kButtonHeight = 22;
struct Button { int id; int x; main::Glyph glyph; };
inline constexpr Button kButtons[] = {
    {kIdSBRecord, 0, main::Glyph::Record}, {kIdSBProc, 24, main::Glyph::Play}, {kIdSBPause, 48, main::Glyph::Pause},
    {kIdSBStop, 71, main::Glyph::Stop},    {kIdSBSave, 104, main::Glyph::Save},
};
inline constexpr int kLblLeft = 136, kLblTop = 8, kLblWidth = 97, kLblHeight = 12;
inline constexpr char kLblInitial[] = "录制了0步";
}  // namespace mirco

}  // namespace tesmuro::forms
