#include "script/word_reader.h"

#include <cstring>
#include <optional>

#include "script/script_format.h"
#include "util/shortcut.h"

namespace tesmuro::script {

namespace {

constexpr int kEnd = ByteStream::kEnd;

inline bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// Keywords in the order they are tried.
struct KeywordEntry {
  std::string_view text;
  ActionKind kind;
};
constexpr KeywordEntry kKeywords[] = {
    {kKeywordDelay, ActionKind::Delay},
    {kKeywordMove, ActionKind::Move},
    {kKeywordLeftDown, ActionKind::LeftDown},
    {kKeywordLeftUp, ActionKind::LeftUp},
    {kKeywordRightDown, ActionKind::RightDown},
    {kKeywordRightUp, ActionKind::RightUp},
    {kKeywordMiddleDown, ActionKind::MiddleDown},
    {kKeywordMiddleUp, ActionKind::MiddleUp},
    {kKeywordWheel, ActionKind::Wheel},
    {kKeywordKeyDown, ActionKind::KeyDown},
    {kKeywordKeyUp, ActionKind::KeyUp},
    {kKeywordSysKeyDown, ActionKind::SysKeyDown},
    {kKeywordSysKeyUp, ActionKind::SysKeyUp},
    {kKeywordJoyMove, ActionKind::JoyMove},
    {kKeywordJoyButton, ActionKind::JoyButton},
    {kKeywordX1Down, ActionKind::X1Down},
    {kKeywordX1Up, ActionKind::X1Up},
    {kKeywordX2Down, ActionKind::X2Down},
    {kKeywordX2Up, ActionKind::X2Up},
    {kKeywordHWheel, ActionKind::HWheel},
    {kKeywordRelMove, ActionKind::RelMove},
    {kKeywordScreen, ActionKind::Screen},
    {kKeywordWindow, ActionKind::Window},
    {kKeywordWaitWindow, ActionKind::WaitWindow},
    {kKeywordWaitColor, ActionKind::WaitColor},
    {kKeywordWaitImage, ActionKind::WaitImage},
    {kKeywordClickImage, ActionKind::ClickImage},
    {kKeywordRandomDelay, ActionKind::RandomDelay},
    {kKeywordTypeText, ActionKind::TypeText},
    {kKeywordWaitKey, ActionKind::WaitKey},
};

int SkipSpace(ByteStream& in) {
  int c;
  do c = in.Get();
  while (IsScriptSpace(c));
  return c;
}

// scanf's "%d": see the header for how it treats odd input. True when a number
// was read.
bool ScanInt(ByteStream& in, int32_t& out) {
  out = 0;
  int c = SkipSpace(in);
  bool negative = false;
  if (c == '-' || c == '+') {
    negative = c == '-';
    c = in.Get();
  }
  if (!IsDigit(c)) {
    in.Unget(c);
    return false;
  }
  uint32_t v = 0;
  do {
    v = v * 10u + static_cast<uint32_t>(c - '0');
    c = in.Get();
  } while (IsDigit(c));
  in.Unget(c);
  out = static_cast<int32_t>(negative ? 0u - v : v);
  return true;
}

// "%d,%d"
void ScanPair(ByteStream& in, int32_t& x, int32_t& y) {
  y = 0;
  if (!ScanInt(in, x)) return;
  const int c = in.Get();
  if (c != ',') {
    in.Unget(c);
    return;
  }
  ScanInt(in, y);
}

struct Token {
  char bytes[kMaxTokenBytes];
  std::size_t size = 0;
};

// scanf's "%s" into the token buffer. False when the data ends first.
bool ScanToken(ByteStream& in, Token& t) {
  t.size = 0;
  int c = SkipSpace(in);
  if (c == kEnd) return false;
  do {
    if (t.size < kMaxTokenBytes) t.bytes[t.size++] = static_cast<char>(c);
    c = in.Get();
  } while (c != kEnd && !IsScriptSpace(c));
  in.Unget(c);
  return true;
}

void ReadWheelToken(ByteStream& in, Token& t) {
  t.size = 0;
  int c;
  do c = in.Get();
  while (c == ' ');
  while (c != ' ' && c != '\r' && c != '\n' && c != kEnd) {
    if (t.size < kMaxTokenBytes) t.bytes[t.size++] = static_cast<char>(c);
    c = in.Get();
  }
  if (c != ' ') in.Unget(c);
}

// The whole token must be [+-]digits; the value wraps modulo 2^32.
bool TokenToInt(const Token& t, int32_t& out) {
  std::size_t i = 0;
  bool negative = false;
  if (t.size > 0 && (t.bytes[0] == '-' || t.bytes[0] == '+')) {
    negative = t.bytes[0] == '-';
    i = 1;
  }
  if (i == t.size) return false;
  uint32_t v = 0;
  for (; i < t.size; ++i) {
    const int c = static_cast<unsigned char>(t.bytes[i]);
    if (!IsDigit(c)) return false;
    v = v * 10u + static_cast<uint32_t>(c - '0');
  }
  out = static_cast<int32_t>(negative ? 0u - v : v);
  return true;
}

}  // namespace

// A word that starts with `first` when the next one does (white space skipped
// first); otherwise nothing is read and the word stays in the stream. The
// word keeps its first `limit` bytes (99, like any other word, by default).
bool ScanWordStarting(ByteStream& in, std::string& out, bool (*first)(int), std::size_t limit = kMaxWordBytes) {
  out.clear();
  int c = SkipSpace(in);
  if (c == kEnd || !first(c)) {
    in.Unget(c);
    return false;
  }
  while (c != kEnd && !IsScriptSpace(c)) {
    if (out.size() < limit) out.push_back(static_cast<char>(c));
    c = in.Get();
  }
  in.Unget(c);
  return true;
}

bool IsQuote(int c) { return c == '"'; }
bool IsAsciiAlnum(int c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "%d,%d,...": up to `n` values; reading stops at the first that does not fit.
// How many were read.
int ScanList(ByteStream& in, int32_t* values, int n) {
  if (!ScanInt(in, values[0])) return 0;
  for (int i = 1; i < n; ++i) {
    const int c = in.Get();
    if (c != ',') {
      in.Unget(c);
      return i;
    }
    if (!ScanInt(in, values[i])) return i;
  }
  return n;
}

namespace {

// Whole milliseconds, 0..kMaxDelayMs: digits only. False (nothing read) when
// no digit comes first; false too when the digits say more than the limit
// (all of them are read).
bool ScanMillis(ByteStream& in, int32_t& out) {
  int c = in.Get();
  if (!IsDigit(c)) {
    in.Unget(c);
    return false;
  }
  uint64_t v = 0;
  do {
    if (v <= static_cast<uint64_t>(kMaxDelayMs)) v = v * 10u + static_cast<uint64_t>(c - '0');
    c = in.Get();
  } while (IsDigit(c));
  in.Unget(c);
  if (v > static_cast<uint64_t>(kMaxDelayMs)) return false;
  out = static_cast<int32_t>(v);
  return true;
}

void SkipBlanks(ByteStream& in) {
  int c;
  do c = in.Get();
  while (c == ' ' || c == '\t');
  in.Unget(c);
}

// "MIN,MAX" on the keyword's line (spaces or tabs before each number), ending
// the word: 0 <= MIN <= MAX <= kMaxDelayMs. A word that does not fit is read
// to its end, so that none of it is taken for another word; the line break
// and the next line are left alone.
bool ScanRange(ByteStream& in, int32_t& low, int32_t& high) {
  SkipBlanks(in);
  bool ok = ScanMillis(in, low);
  if (ok) {
    const int c = in.Get();
    ok = c == ',';
    if (!ok) in.Unget(c);
  }
  if (ok) {
    SkipBlanks(in);
    ok = ScanMillis(in, high);
  }
  int c = in.Get();
  if (c != kEnd && !IsScriptSpace(c)) {  // "10,20ms", "1.5,2", "-5,10"
    ok = false;
    do c = in.Get();
    while (c != kEnd && !IsScriptSpace(c));
  }
  in.Unget(c);
  return ok && low <= high;
}

}  // namespace

// Six hexadecimal digits, RRGGBB.
bool HexColor(const std::string& t, uint32_t& color) {
  if (t.size() != 6) return false;
  color = 0;
  for (char ch : t) {
    const int v = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : -1;
    if (v < 0) return false;
    color = color << 4 | static_cast<uint32_t>(v);
  }
  return true;
}

bool ReadWord(ByteStream& in, Word& word) {
  word.size = 0;
  int c = SkipSpace(in);
  if (c == kEnd) return false;
  std::size_t n = 0;
  do {
    if (n < kMaxWordBytes) word.bytes[n++] = static_cast<char>(c);
    c = in.Get();
  } while (c != kEnd && !IsScriptSpace(c));
  in.Unget(c);
  word.size = n;
  return true;
}

std::vector<std::string_view> KnownWords() {
  std::vector<std::string_view> words;
  for (const KeywordEntry& k : kKeywords) words.push_back(k.text);
  return words;
}

ActionKind MatchKeyword(std::string_view word) {
  for (const KeywordEntry& k : kKeywords) {
    if (word.size() == k.text.size() && std::memcmp(word.data(), k.text.data(), word.size()) == 0)
      return k.kind;
  }
  return ActionKind::Unknown;
}

namespace {

// The arguments of each family of words into `a`. Those that return false
// found a token that cannot be converted: the line is a ConversionError.

// A word of letters and digits, three quoted tokens, "%d,%d,%d,%d". A part
// that is not there leaves what stands in its place (a keyword of the next
// line, say) to be read as the next word, and the line is skipped.
void ReadWindowLine(ByteStream& in, Action& a) {
  std::string system;
  bool complete = ScanWordStarting(in, system, IsAsciiAlnum);
  for (int i = 0; complete && i < 3; ++i) complete = ScanWordStarting(in, a.text[i], IsQuote);
  if (!complete) return;
  a.system = system;
  ScanList(in, a.screen, 4);
  for (const std::string& t : a.text) a.badText = a.badText || !QuotedTokenValid(t);
}

void ReadWaitWindow(ByteStream& in, Action& a) {
  if (!ScanWordStarting(in, a.text[0], IsQuote)) return;
  a.badText = !QuotedTokenValid(a.text[0]);
  ScanInt(in, a.seconds);
}

void ReadWaitColor(ByteStream& in, Action& a) {
  ScanPair(in, a.x, a.y);
  std::string hex;
  ScanWordStarting(in, hex, IsAsciiAlnum);
  a.badColor = !HexColor(hex, a.color);
  if (ScanInt(in, a.tolerance)) ScanInt(in, a.seconds);
}

// A quoted token, "%d %d", then "%d,%d,%d,%d" when the line goes on with an
// area (the next line is left alone).
void ReadPictureWord(ByteStream& in, Action& a) {
  if (!ScanWordStarting(in, a.text[0], IsQuote)) return;
  a.badText = !QuotedTokenValid(a.text[0]);
  if (!ScanInt(in, a.tolerance) || !ScanInt(in, a.seconds)) return;
  SkipBlanks(in);
  const int c = in.Get();
  in.Unget(c);
  if (IsDigit(c) || c == '-' || c == '+') a.hasArea = ScanList(in, a.screen, 4) == 4;
}

// An optional whole number 0..`max` on the same line, into `out`: when
// anything follows there, it is read to its end, and anything else than such
// a number marks the line bad (`out` is then 0); the next line is left alone.
void ReadOptionalWhole(ByteStream& in, Action& a, int32_t& out, int32_t max) {
  SkipBlanks(in);
  int c = in.Get();
  in.Unget(c);
  if (c == kEnd || IsScriptSpace(c)) return;
  const bool ok = ScanMillis(in, out) && out <= max;
  c = in.Get();
  const bool whole = c == kEnd || IsScriptSpace(c);
  while (c != kEnd && !IsScriptSpace(c)) c = in.Get();
  in.Unget(c);
  if (!ok || !whole) {
    a.badRange = true;
    out = 0;
  }
}

// A quoted token, then whole milliseconds on the same line when anything
// follows it there. Something there that is not 0..kMaxTypeIntervalMs is read
// to its end and marks the line bad; the next line is left alone.
void ReadTypeText(ByteStream& in, Action& a) {
  if (!ScanWordStarting(in, a.text[0], IsQuote, kMaxTypedTextBytes)) return;
  a.badText = !QuotedTokenValid(a.text[0]);
  ReadOptionalWhole(in, a, a.delay_ms, kMaxTypeIntervalMs);
}

// The key's name: the next word on the keyword's line (a name left out
// leaves the next line alone), then whole seconds on the same line when
// anything follows it there. Something there that is not 0..kMaxDelayMs is
// read to its end and marks the line bad.
void ReadWaitKey(ByteStream& in, Action& a) {
  SkipBlanks(in);
  int c = in.Get();
  while (c != kEnd && !IsScriptSpace(c)) {
    if (a.text[0].size() < kMaxWordBytes) a.text[0].push_back(static_cast<char>(c));
    c = in.Get();
  }
  in.Unget(c);
  const std::optional<Shortcut> key = a.text[0].empty() ? std::nullopt : Shortcut::Parse(a.text[0]);
  a.badKey = !key;
  if (key) a.key = key->code;
  ReadOptionalWhole(in, a, a.seconds, kMaxDelayMs);
}

// The turn token, then "%d %d".
bool ReadWheel(ByteStream& in, Action& a) {
  Token t;
  ReadWheelToken(in, t);
  if (ScanInt(in, a.wheel_a)) ScanInt(in, a.wheel_b);
  int32_t turn = 0;
  if (!TokenToInt(t, turn)) return false;
  a.wheel = static_cast<int16_t>(static_cast<uint16_t>(turn));
  return true;
}

// "%s %ld %d %d %d": the key code, the scan code, the flags, then two numbers
// that are not used.
bool ReadKey(ByteStream& in, Action& a) {
  Token t;
  const bool haveToken = ScanToken(in, t);
  int32_t scan = 0, flags = 0, unused;
  if (haveToken && ScanInt(in, scan) && ScanInt(in, flags) && ScanInt(in, unused)) ScanInt(in, unused);
  a.scan = static_cast<uint32_t>(scan);
  a.flags = static_cast<uint32_t>(flags);
  int32_t code = 0;
  if (!haveToken || !TokenToInt(t, code)) return false;
  a.vk = static_cast<uint8_t>(static_cast<uint32_t>(code));
  return true;
}

}  // namespace

Action ParseAction(std::string_view word, ByteStream& in) {
  Action a;
  a.kind = MatchKeyword(word);
  bool converted = true;
  switch (a.kind) {
    case ActionKind::Delay:
      ScanInt(in, a.delay_ms);
      break;
    case ActionKind::RandomDelay:
      if (!ScanRange(in, a.delay_ms, a.delay_max_ms)) {
        a.badRange = true;
        a.delay_ms = a.delay_max_ms = 0;
      }
      break;
    case ActionKind::Move:
    case ActionKind::JoyMove:
    case ActionKind::RelMove:
      ScanPair(in, a.x, a.y);
      break;
    case ActionKind::Screen:
      // "%d,%d,%d,%d,%d": reading stops at the first value that does not fit.
      ScanList(in, a.screen, 5);
      break;
    case ActionKind::Window: ReadWindowLine(in, a); break;
    case ActionKind::WaitWindow: ReadWaitWindow(in, a); break;
    case ActionKind::WaitColor: ReadWaitColor(in, a); break;
    case ActionKind::WaitImage:
    case ActionKind::ClickImage: ReadPictureWord(in, a); break;
    case ActionKind::TypeText: ReadTypeText(in, a); break;
    case ActionKind::WaitKey: ReadWaitKey(in, a); break;
    case ActionKind::JoyButton:
      ScanInt(in, a.buttons);
      break;
    case ActionKind::Wheel:
    case ActionKind::HWheel: converted = ReadWheel(in, a); break;
    case ActionKind::KeyDown:
    case ActionKind::KeyUp:
    case ActionKind::SysKeyDown:
    case ActionKind::SysKeyUp: converted = ReadKey(in, a); break;
    case ActionKind::LeftDown:
    case ActionKind::LeftUp:
    case ActionKind::RightDown:
    case ActionKind::RightUp:
    case ActionKind::MiddleDown:
    case ActionKind::MiddleUp:
    case ActionKind::X1Down:
    case ActionKind::X1Up:
    case ActionKind::X2Down:
    case ActionKind::X2Up:
    case ActionKind::Unknown:
    case ActionKind::ConversionError:
      break;
  }
  if (!converted) {
    Action bad;
    bad.kind = ActionKind::ConversionError;
    return bad;
  }
  return a;
}

}  // namespace tesmuro::script
