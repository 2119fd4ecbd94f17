// Text conversions used where text crosses between the program's parts:
// UTF-8 in the core, UTF-16 at the Windows API, GBK (code page 936) in script files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tesmuro {

// One code point of UTF-8 text at `i` (U+FFFD for a byte that starts no
// valid sequence, which then counts alone), moving `i` past it; and one
// code point appended as UTF-8.
char32_t NextCodePoint(std::string_view utf8, size_t& i);
void AppendUtf8(std::string& out, char32_t cp);

// UTF-8 <-> UTF-16. Invalid sequences become U+FFFD; never throws on bad input.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Decimal text of 32-bit values, as printf's "%d" and "%u" would write them.
std::string ToDec(int32_t v);
std::string ToDecU(uint32_t v);

// Plain-text fields of the program's own files: `s` without the spaces and
// tabs around it; true for one or more ASCII digits only; the decimal
// number (digits only, at most `max`) or nothing.
std::string_view Trim(std::string_view s);
bool AllDigits(std::string_view s);
std::optional<int64_t> Decimal(std::string_view s, int64_t max);

}  // namespace tesmuro

namespace tesmuro {

// GBK (code page 936), through the system's own tables (text_win.cpp,
// text_posix.cpp). A character GBK cannot hold gives nothing; bytes that are
// not GBK become U+FFFD.
std::string CodePointToGbk(char32_t cp);
std::string GbkToUtf8(std::string_view gbk);

}  // namespace tesmuro
