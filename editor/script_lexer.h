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
// Control words (script/control_table.h) have a colour of their own, their
// arguments (a count, a name, a called file) are read as the player reads
// them; 如果's wait word after it is styled as a keyword. Whether the blocks
// fit together is a matter of the whole script (ScriptStructureError).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tesmuro::editor {

enum class ScriptStyle : uint8_t {
  Default = 0,  // white space, commas
  Keyword = 1,
  Number = 2,
  Skipped = 3,  // the player reads past it without doing anything
  Error = 4,    // the player stops the run here
  Control = 5,  // 如果, 重复, 跳到, 调用 and the other control words
};
inline constexpr int kScriptStyleCount = 6;

// Styles the bytes of one line (its line end may be included): `styles`
// receives line.size() values.
void StyleScriptLine(std::string_view line, ScriptStyle* styles);

// The first structure error of a whole script (blocks, labels, jumps), as
// the player finds it before a run: its line, counted from 0, and the text
// "第 N 行：…"; nothing when the structure is sound. Called files are not
// looked at: the box's text may not have a folder yet.
struct StructureMark {
  int64_t line = 0;
  std::string text;
};
std::optional<StructureMark> ScriptStructureError(std::string_view script);

}  // namespace tesmuro::editor
