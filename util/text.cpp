#include "util/text.h"

#include <charconv>

namespace tesmuro {

char32_t NextCodePoint(std::string_view s, size_t& i) {
  const size_t n = s.size();
  const auto b0 = static_cast<unsigned char>(s[i]);
  size_t len = 1;
  char32_t cp = 0xFFFD;
  if (b0 < 0x80) {
    cp = b0;
  } else if (b0 >= 0xC2 && b0 <= 0xF4) {
    len = b0 < 0xE0 ? 2 : (b0 < 0xF0 ? 3 : 4);
    if (i + len > n) {
      len = 1;
    } else {
      char32_t v = b0 & (0x3F >> (len - 1));
      bool ok = true;
      for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) { ok = false; break; }
        v = (v << 6) | (b & 0x3F);
      }
      const bool overlong = (len == 3 && v < 0x800) || (len == 4 && v < 0x10000);
      if (!ok || overlong || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) {
        len = 1;
      } else {
        cp = v;
      }
    }
  }
  i += len;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t cp = NextCodePoint(s, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string ToDec(int32_t v) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string ToDecU(uint32_t v) {
  char buf[16];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
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

}  // namespace tesmuro
