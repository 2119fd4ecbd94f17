// Colours of the script box: which bytes of a script line are keywords,
// numbers, words the player skips and actions the player stops at.
//
// The classification follows the player's reader (script/word_reader.h): a
// word is a keyword when script::MatchKeyword says so, and a keyword's
// arguments are what script::ParseAction reads after it. Whatever the reader
// would skip is marked as skipped: unknown words, the double-click words, and
// anything left over after a keyword's arguments ("延迟 abc": "abc"). A key or
// wheel word whose code is not an integer, a colour wait whose colour is
// not RRGGBB, and a random delay that is not MIN,MAX, end a run: the whole action is marked as an error. Lines are styled one at a time, so arguments written on
// the next line (which the reader would still take) show as skipped there.
#pragma once

#include <cstdint>
#include <string_view>

namespace tesmuro::editor {

enum class ScriptStyle : uint8_t {
  Default = 0,  // white space, commas
  Keyword = 1,
  Number = 2,
  Skipped = 3,  // the player reads past it without doing anything
  Error = 4,    // the player stops the run here
};
inline constexpr int kScriptStyleCount = 5;

// Styles the bytes of one line (its line end may be included): `styles`
// receives line.size() values.
void StyleScriptLine(std::string_view line, ScriptStyle* styles);

}  // namespace tesmuro::editor
