#include "app/script_keys.h"

#include "os/pc_keyboard.h"
#include "record/key_hook.h"
#include "setup/settings_places.h"
#include "util/file_io.h"
#include "util/path.h"
#include "util/text.h"

namespace tesmuro {

std::string ScriptKeysProblemText(const std::string& path, const std::vector<std::string>& problems) {
  // A file of rubbish would make a box taller than the screen.
  constexpr size_t kMaxLines = 10;
  std::string t = "脚本热键文件中有些行无法读取，已跳过：\n" + path + "\n";
  for (size_t i = 0; i < problems.size() && i < kMaxLines; ++i) t += problems[i] + "\n";
  if (problems.size() > kMaxLines)
    t += "……共 " + ToDecU(static_cast<uint32_t>(problems.size())) + " 行无法读取\n";
  return t + "在设置对话框的“脚本热键”页确认之前，这个文件不会被改写。";
}

std::string ScriptKeyFile(const std::string& folder, const std::string& script) {
  return ResolvePath(folder, script);
}

std::string ScriptKeys::Load(const std::string& path) {
  rows_.clear();
  damaged_ = false;
  fired_.reset();
  std::string bytes;
  if (!ReadWholeFile(path, bytes)) return {};
  setup::ScriptHotKeyRows read = setup::ParseScriptHotKeys(bytes);
  rows_ = std::move(read.rows);
  damaged_ = !read.problems.empty();
  return damaged_ ? ScriptKeysProblemText(path, read.problems) : std::string();
}

bool ScriptKeys::Save(const std::string& path, std::vector<setup::ScriptHotKey> rows) {
  const bool write = rows != rows_ || damaged_;
  rows_ = std::move(rows);
  if (!write) return true;
  if (!WriteFileAtomically(path, setup::FormatScriptHotKeys(rows_))) return false;
  damaged_ = false;
  return true;
}

bool ScriptKeys::Matches(const KeyHookEvent& e) {
  for (const setup::ScriptHotKey& row : rows_) {
    // The emergency stop key stays what it is, whatever a hand-made file says.
    const uint8_t vk = row.key & 0xFFu;
    if (vk == os::kVkPause || vk == os::kVkCancel) continue;
    if (HotKeyMatches(row.key, e)) {
      fired_ = row;
      return true;
    }
  }
  return false;
}

}  // namespace tesmuro
