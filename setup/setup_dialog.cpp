#include "setup/setup_dialog.h"

#include "util/text.h"

namespace tesmuro::setup {

void SetLoopRadio(SetupDialogState& s, LoopRadio which, bool on) {
  if (on) s.RdLoopNum = s.RdLoopKey = s.RdLoopTime = false;
  switch (which) {
    case LoopRadio::Num: s.RdLoopNum = on; break;
    case LoopRadio::Key: s.RdLoopKey = on; break;
    case LoopRadio::Time: s.RdLoopTime = on; break;
  }
}

namespace {

std::string InvalidIntegerText(std::string_view text) {
  std::string s;
  s.reserve(text.size() + 32);
  s += '\'';
  s += text;
  s += "' is not a valid integer value";
  return s;
}

}  // namespace

InvalidInteger::InvalidInteger(std::string_view text) : std::runtime_error(InvalidIntegerText(text)) {}

NegativeInteger::NegativeInteger(std::string_view box, std::string_view text)
    : InvalidInteger(Message{}, std::string(box) + "不能为负数：'" + std::string(text) + "'") {}

SpeedOutOfRange::SpeedOutOfRange(std::string_view text)
    : InvalidInteger(Message{}, "播放速度必须在 " + std::to_string(kMinSpeedPercent) + " 到 " +
                                    std::to_string(kMaxSpeedPercent) + " 之间：'" + std::string(text) + "'") {}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsX(char c) { return c == 'x' || c == 'X'; }

}  // namespace

std::optional<int32_t> TryParseInteger(std::string_view t) {
  size_t i = 0;
  while (i < t.size() && t[i] == ' ') ++i;
  if (i == t.size()) return std::nullopt;

  size_t hex = std::string_view::npos;
  if (t[i] == '$' || IsX(t[i]))
    hex = i + 1;
  else if (t[i] == '0' && i + 1 < t.size() && IsX(t[i + 1]))
    hex = i + 2;
  if (hex != std::string_view::npos) {
    const size_t n = t.size() - hex;
    if (n == 0 || n > 8) return std::nullopt;
    uint32_t v = 0;
    for (size_t k = hex; k < t.size(); ++k) {
      const int d = HexDigit(t[k]);
      if (d < 0) return std::nullopt;
      v = (v << 4) | static_cast<uint32_t>(d);
    }
    return static_cast<int32_t>(v);
  }

  bool negative = false;
  if (t[i] == '+' || t[i] == '-') {
    negative = t[i] == '-';
    ++i;
  }
  if (i == t.size()) return std::nullopt;
  const uint64_t limit = negative ? 2147483648u : 2147483647u;
  uint64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return std::nullopt;
    v = v * 10 + static_cast<uint64_t>(t[i] - '0');
    if (v > limit) return std::nullopt;
  }
  return static_cast<int32_t>(negative ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v));
}

int32_t ParseInteger(std::string_view text) {
  if (auto v = TryParseInteger(text)) return *v;
  throw InvalidInteger(text);
}

namespace {

// What the count and time boxes are called in the messages.
constexpr char kLoopCountBox[] = "循环次数";
constexpr char kLoopHourBox[] = "循环时间的小时数";
constexpr char kLoopMinuteBox[] = "循环时间的分钟数";
constexpr char kLoopSecondBox[] = "循环时间的秒数";
constexpr char kShutHourBox[] = "关机前累计时间的小时数";
constexpr char kShutMinuteBox[] = "关机前累计时间的分钟数";
constexpr char kShutSecondBox[] = "关机前累计时间的秒数";

// A count or a time: an integer that is not negative.
int32_t ParseAmount(std::string_view box, std::string_view text) {
  const int32_t v = ParseInteger(text);
  if (v < 0) throw NegativeInteger(box, text);
  return v;
}

}  // namespace

SetupDialogState FillSetupDialog(const TSettings& s, const NameConversion& ansiToUtf8) {
  SetupDialogState d;
  d.ChkMouse = s.RecMouse;                             // 1
  d.ChkKey = s.RecKey;                                 // 2
  d.ChkJoy = s.RecJoy;                                 // 3
  d.ChkRecMMouse = s.RecMouseMsg;                      // 4
  d.ChkRecMKey = s.RecKeyMsg;                          // 5
  SetLoopRadio(d, LoopRadio::Key, s.LoopUntilKey);     // 6
  SetLoopRadio(d, LoopRadio::Num, s.LoopByCount);      // 7
  SetLoopRadio(d, LoopRadio::Time, s.LoopByTime);      // 8
  d.EditLoopNum = ToDec(s.LoopCount);                  // 9
  d.EditHour = ToDec(s.LoopHours);                     // 10
  d.EditMin = ToDec(s.LoopMinutes);                    // 11
  d.EditSec = ToDec(s.LoopSeconds);                    // 12
  d.HotKeyStart = s.StartKey;                          // 13
  d.HotKeyStop = s.StopKey;                            // 14
  d.HotKeyRec = s.RecordKey;                           // 15
  d.ChkShortCut = s.ShortCutControl;                   // 16
  d.ChkShutNumTime = s.ShutAfterLoops;                 // 17
  d.ChkShutPassTime = s.ShutAfterElapsed;              // 18
  d.ChkAutoRun = s.AutoRun;                            // 19
  d.EditPassH = ToDec(s.ShutHours);                    // 20
  d.EditPassM = ToDec(s.ShutMinutes);                  // 21
  d.EditPassS = ToDec(s.ShutSeconds);                  // 22
  d.EditAutoFileName = ansiToUtf8(s.AutoFileName);     // 23
  d.ChkAutoShow = s.AutoPlay;                          // 24
  d.ChkPostJoy = s.PostJoy;                            // 25
  d.ChkSendInput = s.SendInputJoy;                     // 26
  d.EditSpeed = ToDec(s.SpeedPercent);
  d.ChkGameMode = s.GameMode;
  d.ChkScaleToScreen = s.ScaleToScreen;
  d.ChkPlayKeyPlaysMemo = s.PlayKeyPlaysMemo;
  return d;
}

void ReadSetupDialog(const SetupDialogState& d, TSettings& s, const NameConversion& utf8ToAnsi) {
  // Each field is assigned only once its value is known, so a throwing
  // conversion leaves its own field and every later one untouched.
  s.RecMouse = d.ChkMouse;
  s.RecKey = d.ChkKey;
  s.RecJoy = d.ChkJoy;
  s.RecMouseMsg = d.ChkRecMMouse;
  s.RecKeyMsg = d.ChkRecMKey;
  s.LoopUntilKey = d.RdLoopKey;
  s.LoopByCount = d.RdLoopNum;
  s.LoopByTime = d.RdLoopTime;
  s.LoopCount = ParseAmount(kLoopCountBox, d.EditLoopNum);
  s.LoopHours = ParseAmount(kLoopHourBox, d.EditHour);
  s.LoopMinutes = ParseAmount(kLoopMinuteBox, d.EditMin);
  s.LoopSeconds = ParseAmount(kLoopSecondBox, d.EditSec);
  s.StartKey = d.HotKeyStart;
  s.StopKey = d.HotKeyStop;
  s.RecordKey = d.HotKeyRec;
  s.ShortCutControl = d.ChkShortCut;
  s.ShutAfterLoops = d.ChkShutNumTime;
  s.ShutAfterElapsed = d.ChkShutPassTime;
  s.AutoRun = d.ChkAutoRun;
  s.ShutHours = ParseAmount(kShutHourBox, d.EditPassH);
  s.ShutMinutes = ParseAmount(kShutMinuteBox, d.EditPassM);
  s.ShutSeconds = ParseAmount(kShutSecondBox, d.EditPassS);
  s.AutoFileName = utf8ToAnsi(d.EditAutoFileName);
  s.AutoPlay = d.ChkAutoShow;
  s.PostJoy = d.ChkPostJoy;
  s.SendInputJoy = d.ChkSendInput;
  const int32_t speed = ParseInteger(d.EditSpeed);
  if (speed < kMinSpeedPercent || speed > kMaxSpeedPercent) throw SpeedOutOfRange(d.EditSpeed);
  s.SpeedPercent = speed;
  s.GameMode = d.ChkGameMode;
  s.ScaleToScreen = d.ChkScaleToScreen;
  s.PlayKeyPlaysMemo = d.ChkPlayKeyPlaysMemo;
}

namespace {

constexpr uint16_t kShortcutShift = 0x2000, kShortcutCtrl = 0x4000, kShortcutAlt = 0x8000;

bool IsExtendedKey(uint8_t vk) {
  return (vk >= 0x21 && vk <= 0x28)     // Page Up, Page Down, End, Home, arrows
         || vk == 0x2D || vk == 0x2E    // Insert, Delete
         || (vk >= 0x5B && vk <= 0x5D)  // left and right Windows keys, menu key
         || vk == 0x6F                  // keypad divide
         || vk == 0x90;                 // Num Lock
}

}  // namespace

uint16_t HotKeyToShortcut(uint16_t hotKey) {
  const uint8_t mods = static_cast<uint8_t>(hotKey >> 8);
  uint16_t r = hotKey & 0xFFu;
  if (mods & kHotKeyShift) r |= kShortcutShift;
  if (mods & kHotKeyControl) r |= kShortcutCtrl;
  if (mods & kHotKeyAlt) r |= kShortcutAlt;
  return r;
}

uint16_t ShortcutToHotKey(uint16_t shortcut) {
  const uint8_t vk = static_cast<uint8_t>(shortcut & 0xFFu);
  uint8_t mods = 0;
  if (shortcut & kShortcutShift) mods |= kHotKeyShift;
  if (shortcut & kShortcutCtrl) mods |= kHotKeyControl;
  if (shortcut & kShortcutAlt) mods |= kHotKeyAlt;
  if (IsExtendedKey(vk)) mods |= kHotKeyExt;
  return static_cast<uint16_t>(vk | (mods << 8));
}

}  // namespace tesmuro::setup
