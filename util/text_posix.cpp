#include <errno.h>
#include <iconv.h>

#include "util/text.h"

namespace tesmuro {

namespace {
// Converts `in` with a converter opened for this call; bytes that cannot be
// converted are skipped one at a time and replaced by `bad` (nothing: the
// whole conversion fails).
bool Convert(const char* to, const char* from, std::string_view in, std::string& out, std::string_view bad,
             bool failOnBad) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  char buf[256];
  bool ok = true;
  while (left > 0) {
    char* dst = buf;
    size_t room = sizeof buf;
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, dst);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      if (failOnBad) {
        ok = false;
        break;
      }
      out.append(bad);
      ++src;
      --left;
    }
  }
  iconv_close(cd);
  return ok;
}
}  // namespace

std::string CodePointToGbk(char32_t cp) {
  std::string utf8 = Utf16ToUtf8(cp <= 0xFFFF ? std::u16string(1, static_cast<char16_t>(cp))
                                              : std::u16string{static_cast<char16_t>(0xD7C0 + (cp >> 10)),
                                                               static_cast<char16_t>(0xDC00 | (cp & 0x3FF))});
  std::string out;
  if (cp == 0xFFFD || !Convert("GBK", "UTF-8", utf8, out, {}, true)) return {};
  return out;
}

std::string GbkToUtf8(std::string_view gbk) {
  std::string out;
  if (!Convert("UTF-8", "GBK", gbk, out, "\xEF\xBF\xBD", false)) return std::string(gbk);
  return out;
}

}  // namespace tesmuro
