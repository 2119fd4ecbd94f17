// tesmuro thin: a recorded script with the moves that add nothing to the
// pointer's path taken out (script/thin_moves.h), written back in place or
// to another file.
#include <cstdio>
#include <string>

#include "linux/commands.h"
#include "linux/console.h"
#include "linux/files.h"
#include "script/thin_moves.h"

namespace tesmuro::linux_cli {

using linux_console::Out;

int RunThin(const Options& o) {
  std::string bytes, error;
  if (!linux_files::ReadFile(o.file, bytes, error)) {
    Out().Say("无法读取 " + o.file + "：" + error + "。");
    return kExitError;
  }
  if (const std::string problem = linux_files::ScriptTextProblem(o.file, bytes, "，没有改动"); !problem.empty()) {
    Out().Say(problem);
    return kExitError;
  }

  const script::ThinResult r = script::ThinMoves(bytes, o.tolerance.value_or(script::kDefaultThinTolerance));
  // In place, a script with nothing to take out is left as it is.
  const std::string& target = o.output.value_or(o.file);
  if ((o.output || r.removedLines > 0) && !linux_files::WriteFileAtomically(target, r.bytes, error)) {
    Out().Say("无法写入 " + target + "：" + error + "。");
    return kExitError;
  }
  std::printf("%s\n", script::ThinStatusText(r.removedLines, r.keptLines).c_str());
  return kExitOk;
}

}  // namespace tesmuro::linux_cli
