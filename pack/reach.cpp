#include "pack/reach.h"

#include <deque>
#include <set>
#include <string_view>

#include "image/png_io.h"
#include "script/control_table.h"
#include "script/script_format.h"
#include "script/script_stream.h"
#include "script/word_reader.h"
#include "util/path.h"

namespace tesmuro::pack {
namespace {

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
    auto fail = [&](int64_t offset, const std::string& what) {
      out.error = (current.name.empty() ? "" : "“" + current.name + "”") + "第 " +
                  std::to_string(LineAt(current.bytes, offset)) + " 行：" + what;
    };
    while (out.error.empty()) {
      if (!script::ReadWord(in, word)) break;
      // A byte of the word (the reader stops right after it): its line.
      const int64_t at = in.Tell() - 1;
      std::string written;
      bool isCall = false;
      if (word.View() == script::kWordCall) {
        // 调用 "FILE" [N]: its arguments as the player reads them; a line the
        // player refuses reaches nothing.
        script::CallArguments call;
        std::string refused;
        if (!script::ReadCallArguments(in, call, refused)) continue;
        written = call.file;
        isCall = true;
      } else {
        const script::Action a = script::ParseAction(word.View(), in);
        if (a.kind != script::ActionKind::WaitImage && a.kind != script::ActionKind::ClickImage) continue;
        // A line the player refuses (an escape it does not know) reaches nothing.
        bool cut = false;
        if (!script::QuotedTokenValid(a.text[0])) continue;
        written = script::UnquoteToken(a.text[0], &cut);
        if (cut || written.empty()) continue;
      }
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
