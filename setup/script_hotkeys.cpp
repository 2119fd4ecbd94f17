#include "setup/script_hotkeys.h"

#include <array>
#include <cstdio>

#include "util/text.h"

namespace tesmuro::setup {

namespace {

constexpr uint16_t kShift = 0x2000, kCtrl = 0x4000, kAlt = 0x8000;
constexpr uint8_t kVkCancel = 0x03, kVkPause = 0x13;
constexpr int32_t kMaxPasses = 2147483647;
std::string ScriptNameTooLong() {
  return "脚本文件名太长（超过 " + ToDecU(static_cast<uint32_t>(kMaxScriptPathBytes)) + " 字节）";
}

struct KeyName {
  uint8_t vk;
  const char* name;
};

// The keys with a name of their own (letters, digits and F1..F24 are made
// from their codes). The first name of a key is the one written.
constexpr KeyName kNames[] = {
    {0x03, "Cancel"},     {0x08, "Backspace"},  {0x09, "Tab"},          {0x0C, "Clear"},
    {0x0D, "Enter"},      {0x0D, "Return"},     {0x13, "Pause"},        {0x13, "Break"},
    {0x14, "CapsLock"},   {0x1B, "Esc"},        {0x1B, "Escape"},       {0x20, "Space"},
    {0x21, "PageUp"},     {0x21, "PgUp"},       {0x22, "PageDown"},     {0x22, "PgDn"},
    {0x23, "End"},        {0x24, "Home"},       {0x25, "Left"},         {0x26, "Up"},
    {0x27, "Right"},      {0x28, "Down"},       {0x2C, "PrintScreen"},  {0x2D, "Insert"},
    {0x2D, "Ins"},        {0x2E, "Delete"},     {0x2E, "Del"},          {0x5B, "LWin"},
    {0x5C, "RWin"},       {0x5D, "Apps"},       {0x6A, "Num*"},         {0x6B, "Num+"},
    {0x6D, "Num-"},       {0x6E, "Num."},       {0x6F, "Num/"},         {0x90, "NumLock"},
    {0x91, "ScrollLock"}, {0xBA, ";"},          {0xBB, "="},            {0xBC, ","},
    {0xBD, "-"},          {0xBE, "."},          {0xBF, "/"},            {0xC0, "`"},
    {0xDB, "["},          {0xDC, "\\"},         {0xDD, "]"},            {0xDE, "'"},
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A decimal number of at most `max`; nullopt for anything else.
std::optional<int64_t> Decimal(std::string_view s, int64_t max) {
  if (!AllDigits(s) || s.size() > 12) return std::nullopt;
  int64_t v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  if (v > max) return std::nullopt;
  return v;
}

std::string VkName(uint8_t vk) {
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::string(1, static_cast<char>(vk));
  if (vk >= 0x60 && vk <= 0x69) return "Num" + std::string(1, static_cast<char>('0' + vk - 0x60));
  if (vk >= 0x70 && vk <= 0x87) return "F" + ToDec(vk - 0x70 + 1);
  for (const KeyName& k : kNames)
    if (k.vk == vk) return k.name;
  char hex[8];
  std::snprintf(hex, sizeof hex, "VK%02X", vk);
  return hex;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = Lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<uint8_t> VkByName(std::string_view name) {
  if (name.size() == 1) {
    const char c = name[0];
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c);
    if (c >= 'a' && c <= 'z') return static_cast<uint8_t>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c);
  }
  if (name.size() == 4 && SameText(name.substr(0, 3), "num") && AllDigits(name.substr(3)))
    return static_cast<uint8_t>(0x60 + (name[3] - '0'));
  if (name.size() >= 2 && Lower(name[0]) == 'f' && AllDigits(name.substr(1)) && name[1] != '0') {
    const auto n = Decimal(name.substr(1), 24);
    if (n && *n >= 1) return static_cast<uint8_t>(0x70 + *n - 1);
  }
  if (name.size() == 4 && SameText(name.substr(0, 2), "vk")) {
    const int hi = HexDigit(name[2]), lo = HexDigit(name[3]);
    if (hi >= 0 && lo >= 0 && (hi | lo) != 0) return static_cast<uint8_t>(hi * 16 + lo);
  }
  for (const KeyName& k : kNames)
    if (SameText(name, k.name)) return k.vk;
  return std::nullopt;
}

// The modifier a name before a '+' stands for; 0: none.
uint16_t ModifierByName(std::string_view name) {
  name = Trim(name);
  if (SameText(name, "ctrl") || SameText(name, "control")) return kCtrl;
  if (SameText(name, "shift")) return kShift;
  if (SameText(name, "alt")) return kAlt;
  return 0;
}

// The line's text is UTF-8 without control characters other than the tab.
bool IsPlainText(std::string_view line) {
  for (size_t i = 0; i < line.size();) {
    const size_t start = i;
    const char32_t cp = NextCodePoint(line, i);
    if (cp == 0xFFFD && line.substr(start, i - start) != "\xEF\xBF\xBD") return false;
    if ((cp < 0x20 && cp != '\t') || cp == 0x7F) return false;
  }
  return true;
}

std::string LineProblem(size_t number, std::string_view why) {
  return "第 " + ToDecU(static_cast<uint32_t>(number)) + " 行：" + std::string(why);
}

// A field quoted in a message, cut so that a long one does not fill it.
std::string Quoted(std::string_view field) {
  constexpr size_t kMax = 40;
  std::string r = "“";
  if (field.size() <= kMax) {
    r += field;
  } else {
    size_t i = 0;
    while (i < field.size() && i < kMax) NextCodePoint(field, i);
    r += field.substr(0, i);
    r += "…";
  }
  return r + "”";
}

bool IsEmergencyStopKey(uint16_t key) {
  const uint8_t vk = key & 0xFFu;
  return vk == kVkPause || vk == kVkCancel;
}

}  // namespace

std::string ShortcutName(uint16_t key) {
  const uint8_t vk = key & 0xFFu;
  if (vk == 0) return {};
  std::string r;
  if (key & kCtrl) r += "Ctrl+";
  if (key & kShift) r += "Shift+";
  if (key & kAlt) r += "Alt+";
  return r + VkName(vk);
}

std::optional<uint16_t> ParseShortcutName(std::string_view name) {
  name = Trim(name);
  if (name.size() >= 2 && AllDigits(name)) {
    const auto code = Decimal(name, 0xFFFF);
    if (!code || (*code & 0xFF) == 0) return std::nullopt;
    return ShortcutIdentity(static_cast<uint16_t>(*code));
  }
  uint16_t mods = 0;
  for (;;) {
    const size_t plus = name.find('+');
    if (plus == std::string_view::npos || plus + 1 == name.size()) break;
    const uint16_t m = ModifierByName(name.substr(0, plus));
    if (m == 0) break;
    mods |= m;
    name = Trim(name.substr(plus + 1));
  }
  const auto vk = VkByName(name);
  if (!vk) return std::nullopt;
  return static_cast<uint16_t>(*vk | mods);
}

std::string FormatScriptHotKeys(std::span<const ScriptHotKey> rows) {
  std::string out = "# Tesmuro 脚本热键：每行 热键<Tab>遍数<Tab>脚本文件\r\n";
  for (const ScriptHotKey& r : rows) {
    out += ShortcutName(r.key);
    out += '\t';
    out += ToDec(r.passes);
    out += '\t';
    for (char c : r.script) out += (c == '\r' || c == '\n') ? ' ' : c;
    out += "\r\n";
  }
  return out;
}

ScriptHotKeyRows ParseScriptHotKeys(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  ScriptHotKeyRows result;
  std::vector<size_t> rowLines;  // the line each kept row came from
  size_t number = 0;
  while (!bytes.empty()) {
    const size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    ++number;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.size() > kMaxScriptHotKeyLine) {
      result.problems.push_back(LineProblem(number, "这一行太长（超过 " + ToDecU(static_cast<uint32_t>(kMaxScriptHotKeyLine)) + " 字节）"));
      continue;
    }
    if (!IsPlainText(line)) {
      result.problems.push_back(LineProblem(number, "含有不是 UTF-8 文本的字节"));
      continue;
    }
    if (Trim(line).empty() || line.front() == '#') continue;

    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos) {
      result.problems.push_back(LineProblem(number, "应为“热键<Tab>遍数<Tab>脚本文件”三项"));
      continue;
    }
    const std::string_view keyText = Trim(line.substr(0, tab1));
    const std::string_view passText = Trim(line.substr(tab1 + 1, tab2 - tab1 - 1));
    const std::string_view script = line.substr(tab2 + 1);

    const auto key = ParseShortcutName(keyText);
    if (!key) {
      result.problems.push_back(LineProblem(number, "热键" + Quoted(keyText) + "无法识别"));
      continue;
    }
    const auto passes = Decimal(passText, kMaxPasses);
    if (!passes || *passes < 1) {
      result.problems.push_back(LineProblem(number, "遍数" + Quoted(passText) + "不是 1 到 2147483647 之间的整数"));
      continue;
    }
    if (Trim(script).empty()) {
      result.problems.push_back(LineProblem(number, "没有脚本文件"));
      continue;
    }
    if (script.size() > kMaxScriptPathBytes) {
      result.problems.push_back(LineProblem(number, ScriptNameTooLong()));
      continue;
    }
    size_t same = 0;
    while (same < result.rows.size() && ShortcutIdentity(result.rows[same].key) != ShortcutIdentity(*key)) ++same;
    if (same < result.rows.size()) {
      result.problems.push_back(LineProblem(number, "热键 " + ShortcutName(*key) + " 与第 " +
                                                         ToDecU(static_cast<uint32_t>(rowLines[same])) +
                                                         " 行相同，此行未读入"));
      continue;
    }
    if (result.rows.size() == kMaxScriptHotKeys) {
      result.problems.push_back(LineProblem(number, "热键最多 12 行，此行未读入"));
      continue;
    }
    result.rows.push_back({*key, std::string(script), static_cast<int32_t>(*passes)});
    rowLines.push_back(number);
  }
  return result;
}

std::string ScriptHotKeyProblem(std::span<const ScriptHotKey> rows, size_t index, const HotKeys& hotKeys) {
  if (index >= rows.size()) return "没有这一行";
  const ScriptHotKey& row = rows[index];
  if ((row.key & 0xFFu) == 0) return "没有热键";
  if (Trim(row.script).empty()) return "没有脚本文件";
  if (row.script.find_first_of("\r\n") != std::string::npos) return "脚本文件名含有换行";
  if (row.script.size() > kMaxScriptPathBytes) return ScriptNameTooLong();
  if (row.passes < 1) return "遍数须在 1 到 2147483647 之间";
  if (IsEmergencyStopKey(row.key)) return "Pause 是紧急停止键";
  const uint16_t id = ShortcutIdentity(row.key);
  const std::array<std::pair<uint16_t, const char*>, 3> hot = {{
      {hotKeys.record, "与开始录制键相同"},
      {hotKeys.play, "与开始播放键相同"},
      {hotKeys.stop, "与停止键相同"},
  }};
  for (const auto& [k, why] : hot)
    if ((k & 0xFFu) != 0 && ShortcutIdentity(k) == id) return why;
  for (size_t i = 0; i < index; ++i)
    if ((rows[i].key & 0xFFu) != 0 && ShortcutIdentity(rows[i].key) == id)
      return "与第 " + ToDecU(static_cast<uint32_t>(i + 1)) + " 行的热键相同";
  return {};
}

}  // namespace tesmuro::setup
