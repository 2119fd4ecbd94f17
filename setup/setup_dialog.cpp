#include "setup/setup_dialog.h"

#include "forms/setup_form.h"
#include "util/shortcut.h"
#include "util/text.h"

namespace tesmuro::setup {
namespace {

using State = SetupDialogState;

namespace id = forms::setup;

// The loop-mode group, in LoopRadio's order.
constexpr int kLoopRadios[] = {id::kIdRdLoopNum, id::kIdRdLoopKey, id::kIdRdLoopTime};

void SetRadio(State& d, int control, bool on) {
  if (on)
    for (int r : kLoopRadios) d.Check(r, false);
  d.Check(control, on);
}

}  // namespace

void SetLoopRadio(SetupDialogState& s, LoopRadio which, bool on) {
  SetRadio(s, kLoopRadios[static_cast<size_t>(which)], on);
}

namespace {

// A text as the user typed it, in the quotes the messages use.
std::string Quoted(std::string_view text) { return "“" + std::string(text) + "”"; }

std::string WholeNumberRange(int32_t min, int32_t max) {
  return "必须是 " + std::to_string(min) + " 到 " + std::to_string(max) + " 之间的整数：";
}

}  // namespace

InvalidInteger::InvalidInteger(std::string_view text) : std::runtime_error(Quoted(text) + "不是有效的整数。") {}

InvalidInteger::InvalidInteger(std::string_view box, std::string_view text)
    : std::runtime_error(std::string(box) + "必须是整数：" + Quoted(text) + "。") {}

NegativeInteger::NegativeInteger(std::string_view box, std::string_view text)
    : InvalidInteger(Message{}, std::string(box) + "不能为负数：" + Quoted(text) + "。") {}

SpeedOutOfRange::SpeedOutOfRange(std::string_view text)
    : InvalidInteger(Message{}, "播放速度" + WholeNumberRange(kMinSpeedPercent, kMaxSpeedPercent) + Quoted(text) +
                                    "。") {}

WaitOutOfRange::WaitOutOfRange(std::string_view text)
    : InvalidInteger(Message{}, "等待窗口最长秒数" + WholeNumberRange(kMinWaitSeconds, kMaxWaitSeconds) +
                                    Quoted(text) + "。") {}

OutOfRange::OutOfRange(std::string_view box, int32_t min, int32_t max, std::string_view text)
    : InvalidInteger(Message{}, std::string(box) + WholeNumberRange(min, max) + Quoted(text) + "。") {}

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

using T = TSettings;
using namespace links;

// Steps 1 to 26 of the record, then the fields that came later.
constexpr SetupField kFields[] = {
    {id::kIdChkMouse, Check{&T::RecMouse}},
    {id::kIdChkKey, Check{&T::RecKey}},
    {id::kIdChkJoy, Check{&T::RecJoy}},
    {id::kIdChkRecMMouse, Check{&T::RecMouseMsg}},
    {id::kIdChkRecMKey, Check{&T::RecKeyMsg}},
    {id::kIdRdLoopKey, Radio{&T::LoopUntilKey}},
    {id::kIdRdLoopNum, Radio{&T::LoopByCount}},
    {id::kIdRdLoopTime, Radio{&T::LoopByTime}},
    {id::kIdEditLoopNum, Amount{&State::EditLoopNum, &T::LoopCount, "循环次数"}},
    {id::kIdEditHour, Amount{&State::EditHour, &T::LoopHours, "循环时间的小时数"}},
    {id::kIdEditMin, Amount{&State::EditMin, &T::LoopMinutes, "循环时间的分钟数"}},
    {id::kIdEditSec, Amount{&State::EditSec, &T::LoopSeconds, "循环时间的秒数"}},
    {id::kIdHotKeyStart, HotKey{&State::HotKeyStart, &T::StartKey}},
    {id::kIdHotKeyStop, HotKey{&State::HotKeyStop, &T::StopKey}},
    {id::kIdHotKeyRec, HotKey{&State::HotKeyRec, &T::RecordKey}},
    {id::kIdChkShortCut, Check{&T::ShortCutControl}},
    {id::kIdChkShutNumTime, Check{&T::ShutAfterLoops}},
    {id::kIdChkShutPassTime, Check{&T::ShutAfterElapsed}},
    {id::kIdChkAutoRun, Check{&T::AutoRun}},
    {id::kIdEditPassH, Amount{&State::EditPassH, &T::ShutHours, "关机前累计时间的小时数"}},
    {id::kIdEditPassM, Amount{&State::EditPassM, &T::ShutMinutes, "关机前累计时间的分钟数"}},
    {id::kIdEditPassS, Amount{&State::EditPassS, &T::ShutSeconds, "关机前累计时间的秒数"}},
    {id::kIdEditAutoFileName, FileName{&State::EditAutoFileName, &T::AutoFileName}},
    {id::kIdChkAutoShow, Check{&T::AutoPlay}},
    {id::kIdChkPostJoy, Check{&T::PostJoy}},
    {id::kIdChkSendInput, Check{&T::SendInputJoy}},
    {id::kIdEditSpeed, Speed{&State::EditSpeed, &T::SpeedPercent}},
    {id::kIdChkGameMode, Check{&T::GameMode}},
    {id::kIdChkScaleToScreen, Check{&T::ScaleToScreen}},
    {id::kIdChkPlayKeyPlaysMemo, Check{&T::PlayKeyPlaysMemo}},
    {id::kIdChkFollowWindows, Check{&T::FollowWindows}},
    {id::kIdEditWaitSeconds, WaitSeconds{&State::EditWaitSeconds, &T::WaitWindowSeconds}},
    {id::kIdEditJitter,
     Ranged{&State::EditJitter, &T::DelayJitterPercent, kMinJitterPercent, kMaxJitterPercent, "延迟随机浮动"}},
    {id::kIdEditMoveInterval,
     Ranged{&State::EditMoveInterval, &T::MoveIntervalMs, 0, kMaxMoveIntervalMs, "移动记录间隔"}},
    {id::kIdEditMoveDistance,
     Ranged{&State::EditMoveDistance, &T::MoveMinDistance, 0, kMaxMoveDistance, "移动最小距离"}},
    {id::kIdChkMinimizeToTray, Check{&T::MinimizeToTray}},
};

// Each kind of field, filled and read back (`control` is its id). A read
// assigns its field only once the value is known, so a throwing conversion
// leaves its own field and every later one untouched.
template <class Link>
void Fill(const Link& l, int, const T& s, State& d, const NameConversion&) { d.*l.box = s.*l.field; }
template <class Link>
void Read(const Link& l, int, const State& d, T& s, const NameConversion&) { s.*l.field = d.*l.box; }

void Fill(const Check& l, int control, const T& s, State& d, const NameConversion&) { d.Check(control, s.*l.field); }
void Read(const Check& l, int control, const State& d, T& s, const NameConversion&) { s.*l.field = d.Checked(control); }

void Fill(const Radio& l, int control, const T& s, State& d, const NameConversion&) {
  SetRadio(d, control, s.*l.field);
}
void Read(const Radio& l, int control, const State& d, T& s, const NameConversion&) { s.*l.field = d.Checked(control); }

void Fill(const Amount& l, int, const T& s, State& d, const NameConversion&) { d.*l.box = ToDec(s.*l.field); }
void Read(const Amount& l, int, const State& d, T& s, const NameConversion&) {
  const std::optional<int32_t> v = TryParseInteger(d.*l.box);
  if (!v) throw InvalidInteger(l.name, d.*l.box);
  if (*v < 0) throw NegativeInteger(l.name, d.*l.box);
  s.*l.field = *v;
}

void Fill(const Speed& l, int, const T& s, State& d, const NameConversion&) { d.*l.box = ToDec(s.*l.field); }
void Read(const Speed& l, int, const State& d, T& s, const NameConversion&) {
  const std::optional<int32_t> v = TryParseInteger(d.*l.box);
  if (!v || *v < kMinSpeedPercent || *v > kMaxSpeedPercent) throw SpeedOutOfRange(d.*l.box);
  s.*l.field = *v;
}

void Fill(const WaitSeconds& l, int, const T& s, State& d, const NameConversion&) { d.*l.box = ToDec(s.*l.field); }
void Read(const WaitSeconds& l, int, const State& d, T& s, const NameConversion&) {
  const std::optional<int32_t> v = TryParseInteger(d.*l.box);
  if (!v || *v < kMinWaitSeconds || *v > kMaxWaitSeconds) throw WaitOutOfRange(d.*l.box);
  s.*l.field = *v;
}

void Fill(const Ranged& l, int, const T& s, State& d, const NameConversion&) { d.*l.box = ToDec(s.*l.field); }
void Read(const Ranged& l, int, const State& d, T& s, const NameConversion&) {
  const std::optional<int32_t> v = TryParseInteger(d.*l.box);
  if (!v || *v < l.min || *v > l.max) throw OutOfRange(l.name, l.min, l.max, d.*l.box);
  s.*l.field = *v;
}

void Fill(const FileName& l, int, const T& s, State& d, const NameConversion& ansiToUtf8) {
  d.*l.box = ansiToUtf8(s.*l.field);
}
void Read(const FileName& l, int, const State& d, T& s, const NameConversion& utf8ToAnsi) {
  s.*l.field = utf8ToAnsi(d.*l.box);
}

}  // namespace

std::span<const SetupField> SetupFields() { return kFields; }

SetupDialogState FillSetupDialog(const TSettings& s, const NameConversion& ansiToUtf8) {
  SetupDialogState d;
  for (const SetupField& f : kFields) std::visit([&](const auto& l) { Fill(l, f.control, s, d, ansiToUtf8); }, f.link);
  return d;
}

void ReadSetupDialog(const SetupDialogState& d, TSettings& s, const NameConversion& utf8ToAnsi) {
  for (const SetupField& f : kFields) std::visit([&](const auto& l) { Read(l, f.control, d, s, utf8ToAnsi); }, f.link);
}

std::optional<SetupRefusal> CheckSetupDialog(const SetupDialogState& d) {
  // Read into a record of its own, field by field: the first field that
  // throws is the box to show.
  TSettings scratch = ConstructionSettings();
  const NameConversion keep = [](std::string_view s) { return std::string(s); };
  for (const SetupField& f : kFields) {
    try {
      std::visit([&](const auto& l) { Read(l, f.control, d, scratch, keep); }, f.link);
    } catch (const InvalidInteger& e) {
      return SetupRefusal{f.control, e.what()};
    }
  }
  return std::nullopt;
}

int SetupPageOf(int control) {
  if (control >= id::kIdLabelScriptKey) return 2;
  for (const auto& c : id::kControls)
    if (c.id == control) return c.parent == id::Parent::Sheet2 ? 1 : 0;
  return 0;
}

namespace {

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "脚本热键第 3 行（Ctrl+F5）不能使用：" and why.
std::string RowRefusal(size_t row, uint16_t key, std::string_view why) {
  std::string r = "脚本热键第 " + ToDecU(static_cast<uint32_t>(row + 1)) + " 行";
  if (const std::string name = Shortcut(key).Name(); !name.empty()) r += "（" + name + "）";
  return r + "不能使用：" + std::string(why) + "。";
}

}  // namespace

static_assert(std::tuple_size_v<decltype(SetupDialogState::ScriptKeys)> == id::kScriptRows,
              "the third page has a row for every script hot key");

bool ScriptKeyBoxes::Blank() const { return (key & 0xFFu) == 0 && TrimSpaces(script).empty(); }

void FillScriptKeys(SetupDialogState& d, std::span<const ScriptHotKey> rows) {
  for (size_t i = 0; i < d.ScriptKeys.size(); ++i) {
    ScriptKeyBoxes& b = d.ScriptKeys[i];
    b = ScriptKeyBoxes{};
    if (i >= rows.size()) continue;
    b.key = rows[i].key;
    b.script = rows[i].script;
    b.passes = ToDec(rows[i].passes);
  }
}

ScriptKeysRead ReadScriptKeys(const SetupDialogState& d, const std::function<bool(uint16_t)>& systemRefuses) {
  const HotKeys hotKeys{.record = d.HotKeyRec, .play = d.HotKeyStart, .stop = d.HotKeyStop};
  // Every row of the page, the blank ones without a key, so that a clash
  // names the row as the page numbers it.
  std::vector<ScriptHotKey> all(d.ScriptKeys.size());
  ScriptKeysRead read;
  for (size_t i = 0; i < d.ScriptKeys.size(); ++i) {
    const ScriptKeyBoxes& b = d.ScriptKeys[i];
    if (b.Blank()) continue;
    ScriptHotKey& row = all[i];
    row.key = b.key;
    row.script = std::string(TrimSpaces(b.script));
    const std::optional<int32_t> passes = TryParseInteger(b.passes);
    std::string why;
    if (!passes || *passes < 1)
      why = "遍数必须是 1 到 2147483647 之间的整数：" + Quoted(b.passes);
    else
      row.passes = *passes;
    if (why.empty()) why = ScriptHotKeyProblem(all, i, hotKeys);
    if (why.empty() && systemRefuses && systemRefuses(row.key)) why = "这个热键已被系统或其他程序占用";
    if (!why.empty()) {
      read.rows.clear();
      read.refusal = RowRefusal(i, b.key, why);
      read.row = static_cast<int>(i);
      return read;
    }
    read.rows.push_back(row);
  }
  return read;
}

namespace {

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
  if (mods & kHotKeyShift) r |= Shortcut::kShift;
  if (mods & kHotKeyControl) r |= Shortcut::kCtrl;
  if (mods & kHotKeyAlt) r |= Shortcut::kAlt;
  return r;
}

uint16_t ShortcutToHotKey(uint16_t shortcut) {
  const Shortcut key(shortcut);
  const uint8_t vk = key.Key();
  uint8_t mods = 0;
  if (key.Shift()) mods |= kHotKeyShift;
  if (key.Ctrl()) mods |= kHotKeyControl;
  if (key.Alt()) mods |= kHotKeyAlt;
  if (IsExtendedKey(vk)) mods |= kHotKeyExt;
  return static_cast<uint16_t>(vk | (mods << 8));
}

}  // namespace tesmuro::setup
