// A hot key for each script: up to twelve rows, each a key with its
// modifiers, a script file and a number of passes, kept in a file of their
// own beside the settings file (the settings file keeps its layout, which
// older copies read).
//
// The file: UTF-8 text (a BOM is accepted on reading), CR LF line ends on
// writing, LF accepted on reading; a first comment line saying what it is;
// then one row per line: KEY <TAB> PASSES <TAB> SCRIPT, KEY written by name
// ("Ctrl+Shift+F5", "Alt+Q", "Pause"...; a decimal shortcut code is also
// read: Shortcut::Parse). Blank lines and lines starting with '#' are skipped. A line that
// cannot be read is skipped with its problem and the rows around it stay;
// rows past the twelfth are problems too; a duplicated key keeps the first
// row and names the second as a problem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "record/recording_options.h"
#include "util/shortcut.h"

namespace tesmuro::setup {

inline constexpr size_t kMaxScriptHotKeys = 12;
inline constexpr char kScriptHotKeysFileName[] = "Quorlin.qlkeys";  // beside the settings file
// The longest script name a row may have (UTF-8 bytes): the dialog refuses a
// longer one, the reader skips its line.
inline constexpr size_t kMaxScriptPathBytes = 4096;
// A line longer than this is not read. It holds every row the writer writes:
// the longest key, the largest passes (10 digits), two tabs, the longest script.
inline constexpr size_t kMaxScriptHotKeyLine = Shortcut::kMaxNameBytes + 10 + 2 + kMaxScriptPathBytes;

struct ScriptHotKey {
  // Shortcut code as the settings' hot keys (Shortcut; 0: none).
  uint16_t key = 0;
  std::string script;  // the script file, UTF-8
  int32_t passes = 1;  // 1..2147483647
  bool operator==(const ScriptHotKey&) const = default;
};

struct ScriptHotKeyRows {
  // The rows that could be read, in file order, at most kMaxScriptHotKeys.
  std::vector<ScriptHotKey> rows;
  // One message per line that could not be read: its line number and why.
  std::vector<std::string> problems;
};

// The file's bytes for `rows`, as given. A line break in a script name
// becomes a space, so that every row stays one line.
std::string FormatScriptHotKeys(std::span<const ScriptHotKey> rows);

// The rows of a file's bytes; never fails on bad input.
ScriptHotKeyRows ParseScriptHotKeys(std::string_view bytes);

// Why row `index` cannot be had (empty: it can): no key, no script, a line
// break in the script's name, a name longer than kMaxScriptPathBytes, passes
// out of range, the emergency stop key
// (Pause), the same key as the Record/Play/Stop hot keys (named), or the same
// key as an earlier row ("与第 N 行的热键相同", N counting rows from 1). The
// three hot keys count whether their switch is on or off, so that turning
// them on never makes two keys of one.
std::string ScriptHotKeyProblem(std::span<const ScriptHotKey> rows, size_t index, const HotKeys& hotKeys);

}  // namespace tesmuro::setup
