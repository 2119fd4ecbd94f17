#include "setup/script_hotkeys.h"

#include <array>

#include "util/text.h"

namespace tesmuro::setup {

namespace {

constexpr uint8_t kVkCancel = 0x03, kVkPause = 0x13;
constexpr int32_t kMaxPasses = 2147483647;
std::string ScriptNameTooLong() {
  return "脚本文件名太长（超过 " + ToDecU(static_cast<uint32_t>(kMaxScriptPathBytes)) + " 字节）";
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

bool IsEmergencyStopKey(Shortcut key) {
  const uint8_t vk = key.Key();
  return vk == kVkPause || vk == kVkCancel;
}

}  // namespace

std::string FormatScriptHotKeys(std::span<const ScriptHotKey> rows) {
  std::string out = "# Tesmuro 脚本热键：每行 热键<Tab>遍数<Tab>脚本文件\r\n";
  for (const ScriptHotKey& r : rows) {
    out += Shortcut(r.key).Name();
    out += '\t';
    out += ToDec(r.passes);
    out += '\t';
    for (char c : r.script) out += (c == '\r' || c == '\n') ? ' ' : c;
    out += "\r\n";
  }
  return out;
}

namespace {

// The fields of a row's line (KEY <TAB> PASSES <TAB> SCRIPT) into `row`; the
// problem when they cannot be read, empty when they can.
std::string ReadRowFields(std::string_view line, ScriptHotKey& row) {
  const size_t tab1 = line.find('\t');
  const size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
  if (tab2 == std::string_view::npos) return "应为“热键<Tab>遍数<Tab>脚本文件”三项";
  const std::string_view keyText = Trim(line.substr(0, tab1));
  const std::string_view passText = Trim(line.substr(tab1 + 1, tab2 - tab1 - 1));
  const std::string_view script = line.substr(tab2 + 1);

  const auto key = Shortcut::Parse(keyText);
  if (!key) return "热键" + Quoted(keyText) + "无法识别";
  const auto passes = Decimal(passText, kMaxPasses);
  if (!passes || *passes < 1) return "遍数" + Quoted(passText) + "不是 1 到 2147483647 之间的整数";
  if (Trim(script).empty()) return "没有脚本文件";
  if (script.size() > kMaxScriptPathBytes) return ScriptNameTooLong();
  row = {key->code, std::string(script), static_cast<int32_t>(*passes)};
  return {};
}

}  // namespace

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

    ScriptHotKey row;
    if (const std::string why = ReadRowFields(line, row); !why.empty()) {
      result.problems.push_back(LineProblem(number, why));
      continue;
    }
    const Shortcut key(row.key);
    size_t same = 0;
    while (same < result.rows.size() && !key.SameKeyAs(Shortcut(result.rows[same].key))) ++same;
    if (same < result.rows.size()) {
      result.problems.push_back(LineProblem(number, "热键 " + key.Name() + " 与第 " +
                                                         ToDecU(static_cast<uint32_t>(rowLines[same])) +
                                                         " 行相同，此行未读入"));
      continue;
    }
    if (result.rows.size() == kMaxScriptHotKeys) {
      result.problems.push_back(LineProblem(number, "热键最多 12 行，此行未读入"));
      continue;
    }
    result.rows.push_back(std::move(row));
    rowLines.push_back(number);
  }
  return result;
}

std::string ScriptHotKeyProblem(std::span<const ScriptHotKey> rows, size_t index, const HotKeys& hotKeys) {
  if (index >= rows.size()) return "没有这一行";
  const ScriptHotKey& row = rows[index];
  const Shortcut key(row.key);
  if (key.Empty()) return "没有热键";
  if (Trim(row.script).empty()) return "没有脚本文件";
  if (row.script.find_first_of("\r\n") != std::string::npos) return "脚本文件名含有换行";
  if (row.script.size() > kMaxScriptPathBytes) return ScriptNameTooLong();
  if (row.passes < 1) return "遍数须在 1 到 2147483647 之间";
  if (IsEmergencyStopKey(key)) return "Pause 是紧急停止键";
  const std::array<std::pair<uint16_t, const char*>, 3> hot = {{
      {hotKeys.record, "与开始录制键相同"},
      {hotKeys.play, "与开始播放键相同"},
      {hotKeys.stop, "与停止键相同"},
  }};
  for (const auto& [k, why] : hot)
    if (key.SameKeyAs(Shortcut(k))) return why;
  for (size_t i = 0; i < index; ++i)
    if (key.SameKeyAs(Shortcut(rows[i].key)))
      return "与第 " + ToDecU(static_cast<uint32_t>(i + 1)) + " 行的热键相同";
  return {};
}

}  // namespace tesmuro::setup
