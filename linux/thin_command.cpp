// tesmuro thin: a recorded script with the moves that add nothing to the
// pointer's path taken out (script/thin_moves.h), written back in place or
// to another file.
#include <cstdio>
#include <string>

#include "editor/thin_prompt.h"
#include "linux/commands.h"
#include "linux/console.h"
#include "linux/files.h"
#include "script/script_format.h"
#include "script/thin_moves.h"

namespace tesmuro::linux_cli {

using linux_console::Out;

int RunThin(const Options& o) {
  std::string bytes, error;
  if (!linux_files::ReadFile(o.file, bytes, error)) {
    Out().Say("无法读取 " + o.file + "：" + error + "。");
    return kExitError;
  }
  std::size_t bad = 0;
  if (!linux_files::IsGbkText(bytes, bad)) {
    Out().Say(o.file + " 不是 GBK 文本（第 " + std::to_string(bad + 1) +
              " 个字节无效），没有改动。脚本必须是 GBK 编码，例如：iconv -f UTF-8 -t GBK");
    return kExitError;
  }
  if (linux_files::LooksLikeUtf8(bytes) && bytes.find(script::kKeywordDelay) == std::string::npos &&
      bytes.find("\xE5\xBB\xB6\xE8\xBF\x9F") != std::string::npos) {  // 延迟 in UTF-8
    Out().Say(o.file + " 是 UTF-8 文本，而脚本必须是 GBK 编码，没有改动。请先转换：iconv -f UTF-8 -t GBK");
    return kExitError;
  }

  const script::ThinResult r = script::ThinMoves(bytes, o.tolerance.value_or(script::kDefaultThinTolerance));
  // In place, a script with nothing to take out is left as it is.
  const std::string& target = o.output.value_or(o.file);
  if ((o.output || r.removedLines > 0) && !linux_files::WriteFileAtomically(target, r.bytes, error)) {
    Out().Say("无法写入 " + target + "：" + error + "。");
    return kExitError;
  }
  std::printf("%s\n", editor::ThinStatusText(r.removedLines, r.keptLines).c_str());
  return kExitOk;
}

}  // namespace tesmuro::linux_cli
