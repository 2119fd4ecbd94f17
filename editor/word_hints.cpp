#include "editor/word_hints.h"

#include <algorithm>

#include "script/control_table.h"
#include "script/script_format.h"
#include "script/word_reader.h"

namespace tesmuro::editor {
namespace {

// Control words the reader's table does not hold (yet): GBK bytes.
constexpr std::string_view kWordCall = "\xB5\xF7\xD3\xC3";                      // 调用
constexpr std::string_view kWordEndPlay = "\xBD\xE1\xCA\xF8\xB2\xA5\xB7\xC5";   // 结束播放
constexpr std::string_view kWordWaitKey = "\xB5\xC8\xB4\xFD\xB0\xB4\xBC\xFC";   // 等待按键

using namespace script;

// Arguments and help pages, by word. A word of the reader's that is missing
// here is still offered, without a call tip (the unit test keeps this table
// and the README's words table the same).
constexpr WordHint kHints[] = {
    {kKeywordDelay, "MS", "words.htm#delay"},
    {kKeywordRandomDelay, "MIN,MAX", "words.htm#random-delay"},
    {kKeywordMove, "X,Y", "words.htm#move"},
    {kKeywordRelMove, "DX,DY", "words.htm#rel-move"},
    {kKeywordLeftDown, "", "words.htm#buttons"},
    {kKeywordLeftUp, "", "words.htm#buttons"},
    {kKeywordRightDown, "", "words.htm#buttons"},
    {kKeywordRightUp, "", "words.htm#buttons"},
    {kKeywordMiddleDown, "", "words.htm#buttons"},
    {kKeywordMiddleUp, "", "words.htm#buttons"},
    {kKeywordX1Down, "", "words.htm#side-buttons"},
    {kKeywordX1Up, "", "words.htm#side-buttons"},
    {kKeywordX2Down, "", "words.htm#side-buttons"},
    {kKeywordX2Up, "", "words.htm#side-buttons"},
    {kKeywordWheel, "D L H", "words.htm#wheel"},
    {kKeywordHWheel, "D L H", "words.htm#wheel"},
    {kKeywordKeyDown, "V S F T E", "words.htm#keys"},
    {kKeywordKeyUp, "V S F T E", "words.htm#keys"},
    {kKeywordSysKeyDown, "V S F T E", "words.htm#keys"},
    {kKeywordSysKeyUp, "V S F T E", "words.htm#keys"},
    {kKeywordJoyMove, "X,Y", "words.htm#controller"},
    {kKeywordJoyButton, "B", "words.htm#controller"},
    {kKeywordScreen, "L,T,W,H,DPI", "words.htm#screen"},
    {kKeywordWindow, "SYSTEM \"PROCESS\" \"CLASS\" \"TITLE\" L,T,W,H", "words.htm#window"},
    {kKeywordWaitWindow, "\"TITLE\" SECONDS", "words.htm#waits"},
    {kKeywordWaitColor, "X,Y RRGGBB TOLERANCE SECONDS", "words.htm#waits"},
    {kKeywordWaitImage, "\"FILE\" TOLERANCE SECONDS [L,T,W,H]", "words.htm#waits"},
    {kKeywordClickImage, "\"FILE\" TOLERANCE SECONDS [L,T,W,H]", "words.htm#waits"},
    {kKeywordTypeText, "\"TEXT\" [MS]", "words.htm#type-text"},
    {kWordIf, "WAIT-WORD ...", "words.htm#if"},
    {kWordIfNot, "WAIT-WORD ...", "words.htm#if"},
    {kWordElse, "", "words.htm#if"},
    {kWordEndIf, "", "words.htm#if"},
    {kWordRepeat, "[N]", "words.htm#repeat"},
    {kWordEndRepeat, "", "words.htm#repeat"},
    {kWordBreakRepeat, "", "words.htm#repeat"},
    {kWordLabel, "NAME", "words.htm#jump"},
    {kWordJumpTo, "NAME", "words.htm#jump"},
    {kWordCall, "\"FILE\" [N]", "words.htm#call"},
    {kWordEndPlay, "", "words.htm#end-play"},
    {kWordWaitKey, "KEY [SECONDS]", "words.htm#wait-key"},
};

constexpr std::string_view kControlWords[] = {kWordIf,          kWordIfNot, kWordElse,   kWordEndIf,
                                              kWordRepeat,      kWordEndRepeat, kWordBreakRepeat, kWordLabel,
                                              kWordJumpTo,      kWordCall,  kWordEndPlay, kWordWaitKey};

bool IsSpace(char c) { return IsScriptSpace(static_cast<unsigned char>(c)); }

}  // namespace

const std::vector<WordHint>& WordHints() {
  static const std::vector<WordHint> hints = [] {
    std::vector<WordHint> all;
    auto add = [&all](std::string_view word) {
      if (std::any_of(all.begin(), all.end(), [&](const WordHint& h) { return h.word == word; })) return;
      const auto* known = std::find_if(std::begin(kHints), std::end(kHints),
                                       [&](const WordHint& h) { return h.word == word; });
      all.push_back(known != std::end(kHints) ? *known : WordHint{word, "", "words.htm"});
    };
    for (std::string_view w : KnownWords()) add(w);
    for (std::string_view w : kControlWords) add(w);
    return all;
  }();
  return hints;
}

const WordHint* FindWordHint(std::string_view word) {
  for (const WordHint& h : WordHints())
    if (h.word == word) return &h;
  return nullptr;
}

std::string CompletionList(std::string_view typed) {
  if (typed.empty()) return {};
  std::vector<std::string_view> fits;
  for (const WordHint& h : WordHints())
    if (h.word.size() >= typed.size() && h.word.compare(0, typed.size(), typed) == 0) fits.push_back(h.word);
  if (fits.empty() || (fits.size() == 1 && fits[0] == typed)) return {};
  std::sort(fits.begin(), fits.end());
  std::string list;
  for (std::string_view w : fits) {
    if (!list.empty()) list += ' ';
    list += w;
  }
  return list;
}

std::optional<std::string> CallTip(std::string_view word) {
  const WordHint* h = FindWordHint(word);
  if (!h || h->args.empty()) return std::nullopt;
  std::string tip(h->word);
  tip += ' ';
  tip += h->args;
  return tip;
}

std::string_view WordAt(std::string_view line, size_t at, size_t* start) {
  at = std::min(at, line.size());
  size_t b = at, e = at;
  while (b > 0 && !IsSpace(line[b - 1])) --b;
  while (e < line.size() && !IsSpace(line[e])) ++e;
  if (start) *start = b;
  return line.substr(b, e - b);
}

}  // namespace tesmuro::editor
