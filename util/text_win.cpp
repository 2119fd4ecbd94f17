#include <windows.h>

#include "util/text.h"

namespace tesmuro {

std::string CodePointToGbk(char32_t cp) {
  if (cp == 0xFFFD || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return {};
  wchar_t w[2];
  int n = 1;
  if (cp <= 0xFFFF) {
    w[0] = static_cast<wchar_t>(cp);
  } else {
    w[0] = static_cast<wchar_t>(0xD7C0 + (cp >> 10));
    w[1] = static_cast<wchar_t>(0xDC00 | (cp & 0x3FF));
    n = 2;
  }
  char out[8];
  BOOL usedDefault = FALSE;
  const int len = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, w, n, out, sizeof out, nullptr, &usedDefault);
  if (len <= 0 || usedDefault) return {};
  return std::string(out, static_cast<size_t>(len));
}

std::string GbkToUtf8(std::string_view gbk) {
  if (gbk.empty()) return {};
  const int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  if (n <= 0) return std::string(gbk);
  std::u16string w(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), reinterpret_cast<wchar_t*>(w.data()), n);
  return Utf16ToUtf8(w);
}

}  // namespace tesmuro
