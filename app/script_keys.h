// The scripts the user gave keys of their own (the settings dialog's third
// page): the rows as the rows file beside the settings file holds them, and
// which row a key press fires. A file with lines that cannot be read keeps
// every row that can, and is left as it is until the user confirms the
// settings dialog.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "record/hook_events.h"
#include "setup/script_hotkeys.h"

namespace tesmuro {

class ScriptKeys {
 public:
  // Reads the rows file at `path` (a file that is not there, or cannot be
  // read, holds no rows). Returns what the user is to be told: which lines
  // could not be read and why; empty when there is nothing to tell.
  std::string Load(const std::string& path);
  // Takes `rows` and writes them to `path` when they differ from what the
  // file holds, or when it had lines that could not be read. False when the
  // file could not be written (the rows are taken all the same).
  bool Save(const std::string& path, std::vector<setup::ScriptHotKey> rows);

  const std::vector<setup::ScriptHotKey>& Rows() const { return rows_; }

  // Whether the event fires a row: the key-down of the row's key, by the
  // rules of the three hot keys (HotKeyMatches: the user's own modifiers,
  // never a key the player sends). The row is kept for Fired().
  bool Matches(const KeyHookEvent& e);
  // The row the last match fired, as it was then.
  const std::optional<setup::ScriptHotKey>& Fired() const { return fired_; }

 private:
  std::vector<setup::ScriptHotKey> rows_;
  bool damaged_ = false;  // the file has lines that could not be read
  std::optional<setup::ScriptHotKey> fired_;
};

// The file a row's script names: the name as it is when it is a full path
// (a drive or a leading separator), else that name in `folder`, the rows
// file's, so that a row does not depend on the folder the program was
// started in.
std::string ScriptKeyFile(const std::string& folder, const std::string& script);

// What the user is told about a rows file's lines that could not be read.
std::string ScriptKeysProblemText(const std::string& path, const std::vector<std::string>& problems);
inline constexpr char kCannotWriteScriptKeys[] = "不能写入脚本热键文件：";

}  // namespace tesmuro
