#include "pack/reach.h"

#include <deque>
#include <set>
#include <string_view>

#include "image/png_io.h"
#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"
#include "util/path.h"

namespace tesmuro::pack {
namespace {

// 调用 "FILE" [N]: plays another script (N times).
constexpr std::string_view kCallWord = "\xB5\xF7\xD3\xC3";

// The line (from 1) of the byte at `offset`, with line breaks counted as the
// player counts them (CR LF, a lone CR, a lone LF).
int64_t LineAt(std::string_view bytes, int64_t offset) {
  int64_t line = 1;
  int prev = 0;
  for (int64_t i = 0; i < offset && i < static_cast<int64_t>(bytes.size()); ++i) {
    const int c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n' ? prev != '\r' : c == '\r') ++line;
    prev = c;
  }
  return line;
}

struct Pending {
  std::string name;   // the script's packed name; empty for the one packed as the payload's script
  std::string bytes;
};

}  // namespace

Reached FilesReached(const std::string& script, const std::string& folder, const ReadFile& read) {
  Reached out;
  std::set<std::string> seen;
  std::deque<Pending> scripts{{"", script}};
  // A name as the file's path on the disk: a packed name is relative to the script's folder.
  auto diskPath = [&](const std::string& name) { return ResolvePath(folder, name); };
  while (!scripts.empty() && out.error.empty()) {
    const Pending current = std::move(scripts.front());
    scripts.pop_front();
    const std::string from = FolderOf(current.name);
    script::MemoryByteStream in(current.bytes);
    script::Word word;
    bool held = false;  // `word` was read after a 调用 and was not its file: read it next
    auto fail = [&](int64_t offset, const std::string& what) {
      out.error = (current.name.empty() ? "" : "“" + current.name + "”") + "第 " +
                  std::to_string(LineAt(current.bytes, offset)) + " 行：" + what;
    };
    while (out.error.empty()) {
      if (!held && !script::ReadWord(in, word)) break;
      held = false;
      // A byte of the word (the reader stops right after it): its line.
      const int64_t at = in.Tell() - 1;
      std::string token;
      bool isCall = false;
      if (word.View() == kCallWord) {
        if (!script::ReadWord(in, word)) break;
        if (word.bytes[0] != '"') {
          held = true;  // a bare 调用: what follows is a word of its own
          continue;
        }
        token.assign(word.View());
        isCall = true;
      } else {
        const script::Action a = script::ParseAction(word.View(), in);
        if (a.kind != script::ActionKind::WaitImage && a.kind != script::ActionKind::ClickImage) continue;
        token = a.text[0];
      }
      // A line the player refuses (an escape it does not know) reaches nothing.
      bool cut = false;
      const std::string written = script::UnquoteToken(token, &cut);
      if (!script::QuotedTokenValid(token) || cut || written.empty()) continue;
      const std::string name = NormalizeName(ResolvePath(from, written));
      if (!seen.insert(name).second) continue;
      std::string bytes;
      if (!read(diskPath(name), bytes)) {
        fail(at, std::string(isCall ? "找不到脚本文件“" : "找不到图像文件“") + written + "”");
        break;
      }
      if (bytes.size() > UINT32_MAX) {
        fail(at, "文件“" + written + "”太大，无法打包");
        break;
      }
      if (!isCall) {
        std::string why;
        if (!image::CheckPng(bytes, {}, nullptr, &why)) {
          fail(at, "图像文件“" + written + "”无法读取（" + why + "）");
          break;
        }
      } else {
        scripts.push_back({name, bytes});
      }
      out.files.push_back({name, std::move(bytes)});
    }
  }
  if (!out.error.empty()) out.files.clear();
  return out;
}

}  // namespace tesmuro::pack
