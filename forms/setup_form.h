// Layout of the settings dialog, in pixels at 96 dots per inch. Positions are
// relative to the control's parent: the dialog, one of the two tab pages, or
// the group box on the first page.
#pragma once

namespace tesmuro::forms::setup {

// Control ids (also used by the end-to-end driver). The confirm and give-up
// buttons carry the system's OK and Cancel ids, so Enter and Esc reach them.
enum ControlId : int {
  kIdBitBtn1 = 1,  // IDOK
  kIdBitBtn2 = 2,  // IDCANCEL
  kIdPageControl = 400,
  kIdGroupBox1,
  kIdChkMouse,
  kIdChkKey,
  kIdChkJoy,
  kIdChkRecMKey,
  kIdChkRecMMouse,
  kIdRdLoopNum,
  kIdRdLoopKey,
  kIdRdLoopTime,
  kIdEditLoopNum,
  kIdEditHour,
  kIdEditMin,
  kIdEditSec,
  kIdHotKeyStart,
  kIdHotKeyStop,
  kIdHotKeyRec,
  kIdChkShortCut,
  kIdChkShutNumTime,
  kIdChkShutPassTime,
  kIdEditPassH,
  kIdEditPassM,
  kIdEditPassS,
  kIdChkAutoRun,
  kIdChkAutoShow,
  kIdEditAutoFileName,
  kIdSBLoad,
  kIdChkPostJoy,
  kIdChkSendInput,
  kIdLabel1,
  kIdLabel2,
  kIdLabel3,
  kIdLabel4,
  kIdLabel5,
  kIdLabel6,
  kIdLabel7,
  kIdLabel8,
  kIdLabel9,
  kIdLabel10,
  kIdLabel11,
  kIdLabel12,
  kIdEditSpeed,
  kIdLabel13,
  kIdLabel14,
  kIdChkGameMode,
  kIdChkScaleToScreen,
  kIdChkPlayKeyPlaysMemo,
  kIdChkFollowWindows,
  kIdEditWaitSeconds,
  kIdLabel15,
  kIdLabel16,
  kIdEditMoveInterval,
  kIdEditMoveDistance,
  kIdEditJitter,
  kIdChkMinimizeToTray,
  kIdLabel17,
  kIdLabel18,
  kIdLabel19,
  kIdLabel20,
  kIdLabel21,
  kIdLabel22,
};

enum class Kind { Check, Radio, Edit, HotKey, Label, GlyphButton };
enum class Parent { Group1, Sheet2, Sheet3 };

// A label with width and height 0 takes the size of its text.
struct Control {
  int id;
  Kind kind;
  Parent parent;
  const char* caption;
  int x, y, w, h;
  bool visible;
};

// The page control fills the top of the dialog; the two buttons sit below it.
inline constexpr int kPageLeft = 0, kPageTop = 0, kPageWidth = 361, kPageHeight = 395;
inline constexpr char kTab1Caption[] = "基本设置";
inline constexpr char kTab2Caption[] = "定时与控制";
// On the first page.
inline constexpr int kGroupLeft = 8, kGroupTop = 5, kGroupWidth = 337, kGroupHeight = 345;
inline constexpr char kGroupCaption[] = "设置区";

inline constexpr int kButtonTop = 402, kButtonWidth = 75, kButtonHeight = 25;
inline constexpr int kBitBtn1Left = 100, kBitBtn2Left = 186;
inline constexpr char kBitBtn1Caption[] = "确认";
inline constexpr char kBitBtn2Caption[] = "放弃";

// Every control of the two pages. Within a page the focusable controls come
// in their tab order.
inline constexpr Control kControls[] = {
    {kIdChkMouse, Kind::Check, Parent::Group1, "记录鼠标动作与状态", 8, 24, 161, 17, true},
    {kIdChkKey, Kind::Check, Parent::Group1, "记录键盘动作", 8, 48, 121, 17, true},
    {kIdChkJoy, Kind::Check, Parent::Group1, "记录游戏摇杆", 8, 72, 129, 17, true},
    {kIdRdLoopNum, Kind::Radio, Parent::Group1, "循环一定次数：", 8, 120, 105, 17, true},
    {kIdRdLoopKey, Kind::Radio, Parent::Group1, "一直循环，直到按下终止键", 8, 144, 169, 17, true},
    {kIdRdLoopTime, Kind::Radio, Parent::Group1, "循环一定时间", 8, 168, 93, 17, true},
    {kIdEditLoopNum, Kind::Edit, Parent::Group1, "", 120, 120, 57, 20, true},
    {kIdEditHour, Kind::Edit, Parent::Group1, "", 104, 168, 33, 20, true},
    {kIdEditMin, Kind::Edit, Parent::Group1, "", 168, 168, 33, 20, true},
    {kIdEditSec, Kind::Edit, Parent::Group1, "", 232, 168, 33, 20, true},
    {kIdHotKeyStart, Kind::HotKey, Parent::Group1, "", 80, 200, 73, 19, true},
    {kIdHotKeyStop, Kind::HotKey, Parent::Group1, "", 216, 200, 73, 19, true},
    {kIdHotKeyRec, Kind::HotKey, Parent::Group1, "", 80, 224, 73, 19, true},
    {kIdChkShortCut, Kind::Check, Parent::Group1, "快捷键控制", 168, 224, 105, 17, true},
    {kIdEditMoveInterval, Kind::Edit, Parent::Group1, "", 104, 256, 49, 20, true},
    {kIdEditMoveDistance, Kind::Edit, Parent::Group1, "", 104, 284, 49, 20, true},
    {kIdChkRecMKey, Kind::Check, Parent::Group1, "记录键盘消息", 168, 24, 97, 17, false},
    {kIdChkRecMMouse, Kind::Check, Parent::Group1, "记录鼠标消息", 168, 48, 97, 17, false},
    {kIdLabel2, Kind::Label, Parent::Group1, "动作播放定义", 8, 96, 0, 0, true},
    {kIdLabel1, Kind::Label, Parent::Group1, "次", 184, 120, 0, 0, true},
    {kIdLabel3, Kind::Label, Parent::Group1, "小时", 142, 172, 0, 0, true},
    {kIdLabel4, Kind::Label, Parent::Group1, "分钟", 207, 171, 0, 0, true},
    {kIdLabel5, Kind::Label, Parent::Group1, "秒", 270, 172, 0, 0, true},
    {kIdLabel6, Kind::Label, Parent::Group1, "开始播放键：", 8, 200, 0, 0, true},
    {kIdLabel7, Kind::Label, Parent::Group1, "停止键：", 168, 200, 0, 0, true},
    {kIdLabel8, Kind::Label, Parent::Group1, "开始记录键：", 8, 232, 0, 0, true},
    {kIdLabel17, Kind::Label, Parent::Group1, "移动记录间隔：", 8, 260, 0, 0, true},
    {kIdLabel18, Kind::Label, Parent::Group1, "毫秒", 158, 260, 0, 0, true},
    {kIdLabel19, Kind::Label, Parent::Group1, "移动最小距离：", 8, 288, 0, 0, true},
    {kIdLabel20, Kind::Label, Parent::Group1, "像素（两项都为 0：每次移动）", 158, 288, 0, 0, true},

    {kIdChkShutNumTime, Kind::Check, Parent::Sheet2, "完成指定次数或者时间后关机", 8, 8, 201, 17, true},
    {kIdChkShutPassTime, Kind::Check, Parent::Sheet2, "累计经过以下时间后关机", 8, 32, 201, 17, true},
    {kIdEditPassH, Kind::Edit, Parent::Sheet2, "", 24, 56, 41, 20, true},
    {kIdEditPassM, Kind::Edit, Parent::Sheet2, "", 104, 56, 41, 20, true},
    {kIdEditPassS, Kind::Edit, Parent::Sheet2, "", 184, 56, 41, 20, true},
    {kIdChkAutoRun, Kind::Check, Parent::Sheet2, "开机自启动", 8, 88, 97, 17, true},
    {kIdEditAutoFileName, Kind::Edit, Parent::Sheet2, "", 8, 152, 201, 20, true},
    {kIdChkPlayKeyPlaysMemo, Kind::Check, Parent::Sheet2, "热键播放当前动作记录", 168, 88, 161, 17, true},
    {kIdChkAutoShow, Kind::Check, Parent::Sheet2, "程序启动后自动播放动作记录文件", 8, 112, 209, 17, true},
    {kIdChkPostJoy, Kind::Check, Parent::Sheet2, "广播摇杆消息", 8, 192, 97, 17, true},
    {kIdChkSendInput, Kind::Check, Parent::Sheet2, "SendInput摇杆消息", 8, 216, 129, 17, true},
    {kIdChkGameMode, Kind::Check, Parent::Sheet2, "游戏模式", 168, 192, 161, 17, true},
    {kIdChkScaleToScreen, Kind::Check, Parent::Sheet2, "坐标随屏幕换算", 168, 216, 161, 17, true},
    {kIdEditSpeed, Kind::Edit, Parent::Sheet2, "", 72, 240, 49, 20, true},
    {kIdChkFollowWindows, Kind::Check, Parent::Sheet2, "坐标跟随窗口", 8, 268, 137, 17, true},
    {kIdEditWaitSeconds, Kind::Edit, Parent::Sheet2, "", 120, 290, 49, 20, true},
    {kIdEditJitter, Kind::Edit, Parent::Sheet2, "", 120, 318, 49, 20, true},
    {kIdChkMinimizeToTray, Kind::Check, Parent::Sheet2, "最小化到通知区域", 8, 346, 161, 17, true},
    {kIdSBLoad, Kind::GlyphButton, Parent::Sheet2, "", 216, 152, 23, 22, true},
    {kIdLabel9, Kind::Label, Parent::Sheet2, "小时", 72, 60, 0, 0, true},
    {kIdLabel10, Kind::Label, Parent::Sheet2, "分钟", 152, 60, 0, 0, true},
    {kIdLabel11, Kind::Label, Parent::Sheet2, "秒", 232, 59, 0, 0, true},
    {kIdLabel12, Kind::Label, Parent::Sheet2, "程序启动自动播放动作记录文件名：", 8, 136, 0, 0, true},
    {kIdLabel13, Kind::Label, Parent::Sheet2, "播放速度：", 8, 244, 0, 0, true},
    {kIdLabel14, Kind::Label, Parent::Sheet2, "%（10 到 10000，100 为原速）", 126, 244, 0, 0, true},
    {kIdLabel15, Kind::Label, Parent::Sheet2, "等待窗口最长秒数：", 8, 294, 0, 0, true},
    {kIdLabel16, Kind::Label, Parent::Sheet2, "秒（0 为不等待）", 174, 294, 0, 0, true},
    {kIdLabel21, Kind::Label, Parent::Sheet2, "延迟随机浮动：", 8, 322, 0, 0, true},
    {kIdLabel22, Kind::Label, Parent::Sheet2, "%（0 到 50）", 174, 322, 0, 0, true},
};

// The third page: a row for each script hot key, each a hot-key box, the
// script file's box, a button that picks the file and the passes box.
inline constexpr char kTab3Caption[] = "脚本热键";
inline constexpr int kScriptRows = 12;
enum ScriptColumn : int { kScriptKey, kScriptFile, kScriptBrowse, kScriptPasses, kScriptColumns };
inline constexpr int kIdScriptRowFirst = 600;
// The id of a row's control (row from 0).
constexpr int ScriptRowId(int row, ScriptColumn column) { return kIdScriptRowFirst + row * kScriptColumns + column; }
struct ColumnPlace { int x, w, h; };
inline constexpr ColumnPlace kScriptColumnPlaces[kScriptColumns] = {{8, 84, 20}, {96, 190, 20}, {290, 23, 22},
                                                                    {318, 31, 20}};
inline constexpr int kScriptRowTop = 26, kScriptRowStep = 25;
enum ScriptLabelId : int { kIdLabelScriptKey = 590, kIdLabelScriptFile, kIdLabelScriptPasses, kIdLabelScriptHint };
inline constexpr Control kScriptLabels[] = {
    {kIdLabelScriptKey, Kind::Label, Parent::Sheet3, "热键", 8, 8, 0, 0, true},
    {kIdLabelScriptFile, Kind::Label, Parent::Sheet3, "脚本文件", 96, 8, 0, 0, true},
    {kIdLabelScriptPasses, Kind::Label, Parent::Sheet3, "遍数", 318, 8, 0, 0, true},
    {kIdLabelScriptHint, Kind::Label, Parent::Sheet3, "按下热键即播放它的脚本（程序最小化时也可以）", 8, 330, 0, 0, true},
};
inline constexpr char kScriptBrowseHint[] = "选择脚本文件";

inline constexpr char kSBLoadHint[] = "打开记录文件";

// The file dialog of SBLoad.
inline constexpr char kOpenDlgDefaultExt[] = "crec";
inline constexpr char kOpenDlgFilter[] = "动作记录文件(*.crec)|*.crec|所有文件(*.*)|*.*";

}  // namespace tesmuro::forms::setup
