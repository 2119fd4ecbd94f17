#include "app/script_text_win.h"

#include <windows.h>

#include <cstring>

namespace tesmuro::win {
namespace {

constexpr UINT kGbk = 936;
constexpr wchar_t kEscapeBase = 0xDC00;  // U+DC00 + byte: a byte kept as it is

bool IsEscape(std::wstring_view t, size_t i) {
  const wchar_t c = t[i];
  if (c < kEscapeBase || c > kEscapeBase + 0xFF) return false;
  return i == 0 || t[i - 1] < 0xD800 || t[i - 1] > 0xDBFF;  // not the second half of a pair
}

// Strict conversions: false when a byte sequence is not GBK or a character
// has no GBK form.
bool Decode(std::string_view b, std::wstring& out) {
  out.clear();
  if (b.empty()) return true;
  const int n = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, b.data(), static_cast<int>(b.size()), nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, b.data(), static_cast<int>(b.size()), out.data(), n) == n;
}

bool Encode(std::wstring_view w, std::string& out) {
  out.clear();
  if (w.empty()) return true;
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, &usedDefault);
  if (n <= 0 || usedDefault) return false;
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                      &usedDefault);
  return !usedDefault;
}

// `b` decodes to text that encodes back to exactly `b`.
bool RoundTrips(std::string_view b, std::wstring& w, std::string& back) {
  return Decode(b, w) && Encode(w, back) && back == b;
}

// One byte or GBK pair at a time, for the parts of a file that are not clean GBK.
void DecodeSlowly(std::string_view b, std::wstring& out) {
  std::wstring w;
  std::string back;
  size_t i = 0;
  while (i < b.size()) {
    const auto c = static_cast<unsigned char>(b[i]);
    if (c == 0) {
      out += static_cast<wchar_t>(kEscapeBase);
      ++i;
    } else if (c < 0x80) {
      out += static_cast<wchar_t>(c);
      ++i;
    } else if (i + 1 < b.size() && RoundTrips(b.substr(i, 2), w, back) && w.size() == 1) {
      out += w;
      i += 2;
    } else if (RoundTrips(b.substr(i, 1), w, back) && w.size() == 1) {
      out += w;
      ++i;
    } else {
      out += static_cast<wchar_t>(kEscapeBase + c);
      ++i;
    }
  }
}

void EncodeRun(std::wstring_view run, std::string& out, int& unencodable) {
  if (run.empty()) return;
  std::string bytes;
  if (Encode(run, bytes)) {
    out += bytes;
    return;
  }
  // Some character has no GBK form: each one becomes '?' and is counted.
  size_t i = 0;
  while (i < run.size()) {
    size_t len = 1;
    if (run[i] >= 0xD800 && run[i] <= 0xDBFF && i + 1 < run.size() && run[i + 1] >= 0xDC00 && run[i + 1] <= 0xDFFF)
      len = 2;
    if (Encode(run.substr(i, len), bytes)) {
      out += bytes;
    } else {
      out += '?';
      ++unencodable;
    }
    i += len;
  }
}

}  // namespace

std::wstring ScriptBytesToWide(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  std::wstring w;
  std::string back;
  // Clean GBK goes through in large pieces; a piece ends after a line feed,
  // which is never the second byte of a GBK character.
  constexpr size_t kPiece = 64 * 1024;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = start + kPiece;
    if (end >= bytes.size()) {
      end = bytes.size();
    } else {
      const size_t lf = bytes.find('\n', end);
      end = lf == std::string_view::npos ? bytes.size() : lf + 1;
    }
    const std::string_view piece = bytes.substr(start, end - start);
    if (std::memchr(piece.data(), 0, piece.size()) == nullptr && RoundTrips(piece, w, back))
      out += w;
    else
      DecodeSlowly(piece, out);
    start = end;
  }
  return out;
}

std::string WideToScriptBytes(std::wstring_view text, int* unencodable) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  int lost = 0;
  size_t runStart = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsEscape(text, i)) continue;
    EncodeRun(text.substr(runStart, i - runStart), out, lost);
    out += static_cast<char>(text[i] - kEscapeBase);
    runStart = i + 1;
  }
  EncodeRun(text.substr(runStart), out, lost);
  if (unencodable) *unencodable = lost;
  return out;
}

}  // namespace tesmuro::win
