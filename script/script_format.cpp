#include "script/script_format.h"

#include <charconv>

#include "util/text.h"

namespace tesmuro::script {

namespace {

// to_chars writes integers exactly as printf's %d / %lu: optional '-', no '+',
// no leading zeros.
template <typename Int>
void AppendDec(std::string& out, Int v) {
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

std::string WithSpace(std::string_view keyword) {
  std::string line;
  line.reserve(keyword.size() + 48);
  line.append(keyword);
  line.push_back(' ');
  return line;
}

}  // namespace

std::string_view ButtonKeyword(ButtonLine button) {
  switch (button) {
    case ButtonLine::LeftDown: return kKeywordLeftDown;
    case ButtonLine::LeftUp: return kKeywordLeftUp;
    case ButtonLine::LeftDouble: return kKeywordLeftDouble;
    case ButtonLine::RightDown: return kKeywordRightDown;
    case ButtonLine::RightUp: return kKeywordRightUp;
    case ButtonLine::RightDouble: return kKeywordRightDouble;
    case ButtonLine::MiddleDown: return kKeywordMiddleDown;
    case ButtonLine::MiddleUp: return kKeywordMiddleUp;
    case ButtonLine::MiddleDouble: return kKeywordMiddleDouble;
    case ButtonLine::X1Down: return kKeywordX1Down;
    case ButtonLine::X1Up: return kKeywordX1Up;
    case ButtonLine::X2Down: return kKeywordX2Down;
    case ButtonLine::X2Up: return kKeywordX2Up;
  }
  return {};
}

std::string_view KeyKeyword(KeyLineKind kind) {
  switch (kind) {
    case KeyLineKind::Down: return kKeywordKeyDown;
    case KeyLineKind::Up: return kKeywordKeyUp;
    case KeyLineKind::SysDown: return kKeywordSysKeyDown;
    case KeyLineKind::SysUp: return kKeywordSysKeyUp;
  }
  return {};
}

std::string DelayLine(int32_t ms) {
  std::string line = WithSpace(kKeywordDelay);
  AppendDec(line, ms);
  return line;
}

std::string MoveLine(int32_t x, int32_t y) {
  std::string line = WithSpace(kKeywordMove);
  AppendDec(line, x);
  line.push_back(',');
  AppendDec(line, y);
  return line;
}

std::string MouseButtonLine(ButtonLine button) { return std::string(ButtonKeyword(button)); }

namespace {
std::string AnyWheelLine(std::string_view keyword, int16_t turn, int16_t flagsLow, int16_t flagsHigh) {
  std::string line = WithSpace(keyword);
  AppendDec(line, int32_t{turn});
  line.push_back(' ');
  AppendDec(line, int32_t{flagsLow});
  line.push_back(' ');
  AppendDec(line, int32_t{flagsHigh});
  return line;
}
}  // namespace

std::string WheelLine(int16_t turn, int16_t flagsLow, int16_t flagsHigh) {
  return AnyWheelLine(kKeywordWheel, turn, flagsLow, flagsHigh);
}

std::string HWheelLine(int16_t turn, int16_t flagsLow, int16_t flagsHigh) {
  return AnyWheelLine(kKeywordHWheel, turn, flagsLow, flagsHigh);
}

std::string RelMoveLine(int32_t dx, int32_t dy) {
  std::string line = WithSpace(kKeywordRelMove);
  AppendDec(line, dx);
  line.push_back(',');
  AppendDec(line, dy);
  return line;
}

std::string ScreenLine(int32_t left, int32_t top, int32_t width, int32_t height, int32_t dpi) {
  std::string line = WithSpace(kKeywordScreen);
  const int32_t values[] = {left, top, width, height, dpi};
  for (size_t i = 0; i < 5; ++i) {
    if (i) line.push_back(',');
    AppendDec(line, values[i]);
  }
  return line;
}

std::string KeyLine(KeyLineKind kind, uint32_t vk, uint32_t scan, uint32_t flags, uint32_t time,
                    uint32_t extra) {
  std::string line = WithSpace(KeyKeyword(kind));
  const uint32_t values[] = {vk, scan, flags, time, extra};
  for (size_t i = 0; i < 5; ++i) {
    if (i) line.push_back(' ');
    AppendDec(line, values[i]);
  }
  return line;
}

std::string JoyMoveLine(int32_t x, int32_t y) {
  std::string line = WithSpace(kKeywordJoyMove);
  AppendDec(line, x);
  line.push_back(',');
  AppendDec(line, y);
  return line;
}

std::string JoyButtonLine(int32_t buttons) {
  std::string line = WithSpace(kKeywordJoyButton);
  AppendDec(line, buttons);
  return line;
}

std::string NormalizeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  const char* p = text.data();
  const char* const end = p + text.size();
  while (p < end) {
    // Copy the run up to the next line-break byte in one go.
    const char* q = p;
    while (q < end && *q != '\r' && *q != '\n') ++q;
    out.append(p, q);
    if (q == end) break;
    out.append("\r\n", 2);
    if (*q == '\r' && q + 1 < end && q[1] == '\n') q += 2;
    else q += 1;
    p = q;
  }
  return out;
}

}  // namespace tesmuro::script

namespace tesmuro::script {

namespace {

// One character as it stands in a quoted token.
std::string EscapedChar(char32_t cp) {
  switch (cp) {
    case ' ': return "\\s";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '"': return "\\\"";
    case '\\': return "\\\\";
    default: break;
  }
  if (cp > 0x20 && cp < 0x7F) return std::string(1, static_cast<char>(cp));
  std::string gbk = cp >= 0x80 && cp != 0x3000 ? CodePointToGbk(cp) : std::string();
  if (!gbk.empty()) return gbk;
  char hex[16];
  auto r = std::to_chars(hex, hex + sizeof hex, static_cast<uint32_t>(cp), 16);
  return "\\u{" + std::string(hex, r.ptr) + "}";
}

}  // namespace

std::string QuotedToken(std::string_view utf8) {
  constexpr size_t kMaxToken = 99;  // the reader's word
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size();) {
    const std::string c = EscapedChar(NextCodePoint(utf8, i));
    // Room for the closing quote after the last character that fits.
    if (out.size() + c.size() + (i < utf8.size() ? 0 : 1) > kMaxToken) return out;
    out += c;
  }
  out.push_back('"');
  return out;
}

std::string UnquoteToken(std::string_view token, bool* cut) {
  std::string out;
  std::string gbk;  // a run of GBK bytes, converted as a whole
  auto flush = [&] {
    if (!gbk.empty()) out += GbkToUtf8(gbk);
    gbk.clear();
  };
  size_t i = !token.empty() && token[0] == '"' ? 1 : 0;
  bool closed = false;
  while (i < token.size()) {
    const auto b = static_cast<unsigned char>(token[i]);
    if (b >= 0x81 && b <= 0xFE && i + 1 < token.size()) {  // a GBK pair; its trail byte may be '\'
      gbk.append(token.substr(i, 2));
      i += 2;
      continue;
    }
    if (b == '"') {
      closed = true;
      break;
    }
    if (b != '\\' || i + 1 >= token.size()) {
      gbk.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    flush();
    const char e = token[i + 1];
    i += 2;
    switch (e) {
      case 's': out.push_back(' '); break;
      case 't': out.push_back('\t'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 'u': {
        const size_t close = token.find('}', i);
        uint32_t cp = 0;
        if (i < token.size() && token[i] == '{' && close != std::string_view::npos) {
          auto r = std::from_chars(token.data() + i + 1, token.data() + close, cp, 16);
          if (r.ec == std::errc() && r.ptr == token.data() + close && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
            AppendUtf8(out, cp);
            i = close + 1;
            break;
          }
        }
        out += "\\u";
        break;
      }
      default: out.push_back(e); break;
    }
  }
  flush();
  if (cut) *cut = !closed;
  return out;
}

bool QuotedTokenValid(std::string_view token) {
  size_t i = !token.empty() && token[0] == '"' ? 1 : 0;
  while (i < token.size()) {
    const auto b = static_cast<unsigned char>(token[i]);
    if (b >= 0x81 && b <= 0xFE && i + 1 < token.size()) {  // a GBK pair, as UnquoteToken reads it
      i += 2;
      continue;
    }
    if (b == '"') return true;
    if (b != '\\') {
      ++i;
      continue;
    }
    if (i + 1 >= token.size()) return true;  // cut short within the escape
    switch (token[i + 1]) {
      case 's': case 't': case 'n': case 'r': case '"': case '\\': i += 2; continue;
      case 'u': break;
      default: return false;  // a GBK byte too: it would take the closing '"' for its pair
    }
    i += 2;
    if (i >= token.size()) return true;
    if (token[i] != '{') return false;
    const size_t close = token.find('}', i);
    const size_t digitsEnd = close == std::string_view::npos ? token.size() : close;
    uint32_t cp = 0;
    size_t digits = 0;
    for (size_t j = i + 1; j < digitsEnd; ++j, ++digits) {
      const char c = token[j];
      const int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (v < 0 || digits >= 6) return false;
      cp = cp * 16 + static_cast<uint32_t>(v);
    }
    if (close == std::string_view::npos) return true;  // cut short within the escape
    if (digits == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i = close + 1;
  }
  return true;
}

std::string WindowLine(std::string_view system, std::string_view process, std::string_view className,
                       std::string_view title, int32_t left, int32_t top, int32_t width, int32_t height) {
  std::string line = WithSpace(kKeywordWindow);
  line.append(system);
  for (std::string_view text : {process, className, title}) {
    line.push_back(' ');
    line += QuotedToken(text);
  }
  line.push_back(' ');
  AppendDec(line, left);
  line.push_back(',');
  AppendDec(line, top);
  line.push_back(',');
  AppendDec(line, width);
  line.push_back(',');
  AppendDec(line, height);
  return line;
}

}  // namespace tesmuro::script
