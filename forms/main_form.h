// Layout of the main window, in pixels at 96 dots per inch; the window
// scales it by its DPI when it builds itself.
#pragma once

#include "tesmuro_version.h"

namespace tesmuro::forms::main {

inline constexpr char kClassName[] = "TFrmMain";
inline constexpr char kCaption[] = "Tesmuro";
inline constexpr int kClientWidth = 688;
inline constexpr int kClientHeight = 426;
inline constexpr char kFontName[] = "MS Sans Serif";
inline constexpr int kFontHeight = -11;

// Control ids (also used by the end-to-end driver).
enum ControlId : int {
  kIdMemo = 100,
  kIdStatusBar = 101,
  kIdPageControl = 102,
  kIdGroupBox = 103,
  kIdSBNew = 201,
  kIdSBLoad,
  kIdSBSave,
  kIdSBToMicro,
  kIdSBRecord,
  kIdSBProc,
  kIdSBPause,
  kIdSBStop,
  kIdBitBtnClear,
  kIdSBPlayMemo,
};

// Menu item ids.
enum MenuId : int {
  kMnuNew = 301,
  kMnuLoad,
  kMnuSave,
  kMnuSaveAs,
  kMnuExit,
  kMnuSoftwareSetup,
  kMnuJoyStick,
  kMnuJoyStick2,
  kMnuContent,
  kMnuVHost,
  kMnuAbout,
  kMnuRunAsAdmin,
  // The Edit menu: the script box's commands.
  kMnuUndo,
  kMnuRedo,
  kMnuCut,
  kMnuCopy,
  kMnuPaste,
  kMnuSelectAll,
  kMnuFind,
  kMnuFindNext,
  kMnuGoToLine,
  kMnuPlayMemo,
  kMnuCaptureImage,
  kMnuThinMoves,
  // The script box as a workbench.
  kMnuPlayFromHere,
  kMnuPlaySelection,
  kMnuStepLine,
  kMnuToggleBreakpoint,
  kMnuExport,
};

inline constexpr int kStatusBarHeight = 19;
struct Panel { const char* text; int width; };
// The second panel holds the pointer's place while recording ("DX:-1234DY:-1234"
// at most); the last one takes the rest of the bar, for the longest texts.
inline constexpr Panel kPanels[] = {{"就绪", 90}, {"", 100}, {"无按键", 80}, {"v" TESMURO_VERSION, 50}};

inline constexpr char kTabCaption[] = "鼠标键盘动作记录";
// On the tab page.
inline constexpr int kGroupLeft = 0, kGroupTop = 0, kGroupWidth = 681, kGroupHeight = 345;

// The picture a glyph button shows.
enum class Glyph { New, Load, Save, ToMicro, Record, Play, Pause, Stop, Ok, No, PlayMemo };

struct GlyphButton { int id; int x; const char* hint; Glyph glyph; };
inline constexpr int kButtonTop = 352, kButtonWidth = 23, kButtonHeight = 22;
inline constexpr GlyphButton kGlyphButtons[] = {
    {kIdSBNew, 0, "新建文件", Glyph::New},
    {kIdSBLoad, 24, "装入记录文件", Glyph::Load},
    {kIdSBSave, 48, "保存记录文件", Glyph::Save},
    {kIdSBToMicro, 440, "进入微型录制界面", Glyph::ToMicro},
    {kIdSBRecord, 464, "录制动作", Glyph::Record},
    {kIdSBProc, 488, "运行记录的动作", Glyph::Play},
    {kIdSBPlayMemo, 512, "播放当前动作记录（不保存，不选文件）", Glyph::PlayMemo},
    {kIdSBPause, 536, "播放暂停/继续播放", Glyph::Pause},
    {kIdSBStop, 560, "停止", Glyph::Stop},
};
inline constexpr int kClearLeft = 600, kClearWidth = 75, kClearHeight = 25;
inline constexpr char kClearCaption[] = "清空";

// The menu: a top-level item with id 0 opens a submenu; a null caption is a separator.
struct MenuItem { int level; int id; const char* caption; };
inline constexpr MenuItem kMenu[] = {
    {0, 0, "文件(&File)"},
    {1, kMnuNew, "新建记录文件(&New)"},
    {1, kMnuLoad, "打开记录文件(&Load)"},
    {1, kMnuSave, "保存记录文件(&Save)"},
    {1, kMnuSaveAs, "另存为(Save &As)"},
    {1, kMnuExport, "导出为程序..."},
    {1, 0, nullptr},
    {1, kMnuRunAsAdmin, "以管理员身份重新启动(&Run as Administrator)"},
    {1, kMnuExit, "退出本软件(&Exit)"},
    {0, 0, "编辑(&Edit)"},
    {1, kMnuUndo, "撤销(&U)\tCtrl+Z"},
    {1, kMnuRedo, "重做(&R)\tCtrl+Y"},
    {1, 0, nullptr},
    {1, kMnuCut, "剪切(&T)\tCtrl+X"},
    {1, kMnuCopy, "复制(&C)\tCtrl+C"},
    {1, kMnuPaste, "粘贴(&P)\tCtrl+V"},
    {1, kMnuSelectAll, "全选(&A)\tCtrl+A"},
    {1, 0, nullptr},
    {1, kMnuFind, "查找(&F)...\tCtrl+F"},
    {1, kMnuFindNext, "查找下一个(&N)\tF3"},
    {1, kMnuGoToLine, "转到行(&G)...\tCtrl+G"},
    {1, 0, nullptr},
    {1, kMnuPlayMemo, "播放当前动作记录(&L)\tF5"},
    {1, kMnuPlayFromHere, "从光标所在行播放(&H)\tCtrl+F5"},
    {1, kMnuPlaySelection, "播放选中的行(&E)\tCtrl+Shift+F5"},
    {1, kMnuStepLine, "单步播放一行(&O)\tF10"},
    {1, kMnuToggleBreakpoint, "设置/清除断点(&B)\tF9"},
    {1, kMnuCaptureImage, "截取图像(&I)...\tCtrl+Shift+I"},
    {1, kMnuThinMoves, "精简移动(&M)..."},
    {0, 0, "设置(&Setup)"},
    {1, kMnuSoftwareSetup, "软件设置(S&oftware Setup)"},
    {1, 0, nullptr},
    {1, kMnuJoyStick, "摇杆1信息(&JoyStick1)"},
    {1, kMnuJoyStick2, "摇杆2信息(JoyStick&2)"},
    {0, 0, "帮助(&Help)"},
    {1, kMnuContent, "帮助内容(&Content)"},
    {1, kMnuVHost, "访问作者主页"},
    {1, kMnuAbout, "关于本软件(&About)"},
};

// Keys that run a menu command wherever the keyboard focus is in the window.
struct Accelerator { bool ctrl; bool shift; char key; int id; };
inline constexpr Accelerator kAccelerators[] = {
    {true, true, 'I', kMnuCaptureImage},
    // Function keys by their virtual-key codes.
    {false, false, 0x74, kMnuPlayMemo},        // F5: plays, or goes on from a pause
    {true, false, 0x74, kMnuPlayFromHere},     // Ctrl+F5
    {true, true, 0x74, kMnuPlaySelection},     // Ctrl+Shift+F5
    {false, false, 0x79, kMnuStepLine},        // F10
    {false, false, 0x78, kMnuToggleBreakpoint},  // F9
};

// The three file dialogs share the default extension and the filter.
inline constexpr char kDefaultExt[] = "crec";
inline constexpr char kFilter[] = "记录动作文件(*.crec)|*.crec|所有文件(*.*)|*.*";
// The Save As dialog for a captured picture.
inline constexpr char kPictureExt[] = "png";
inline constexpr char kPictureFilter[] = "PNG 图像(*.png)|*.png";
// The Save As dialog for an exported program.
inline constexpr char kProgramExt[] = "exe";
inline constexpr char kProgramFilter[] = "程序(*.exe)|*.exe";

}  // namespace tesmuro::forms::main
