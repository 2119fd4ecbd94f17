#include "pack/export.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "pack/reach.h"
#include "play/run_texts.h"
#include "util/file_io.h"
#include "util/path.h"
#include "util/shortcut.h"

namespace tesmuro::pack {
namespace {

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The same file on the disk (both there); false when either is not.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return !a.empty() && !b.empty() && std::filesystem::equivalent(PathOf(a), PathOf(b), ec) && !ec;
}

std::string BaseName(const std::string& path) {
  const size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string SpeedText(int32_t percent) {
  std::string t = std::to_string(percent / 100);
  if (percent % 100) {
    t += '.';
    t += static_cast<char>('0' + percent % 100 / 10);
    if (percent % 10) t += static_cast<char>('0' + percent % 10);
  }
  return t;
}

}  // namespace

PackedRun PackedRunFor(const TSettings& settings, const play::RunRequest& request) {
  play::RunRequest r = request;
  r.withShutdown = false;
  PackedRun run;
  run.options = RunOptionsFor(settings, r);
  run.options.scriptFolder.clear();
  run.hotKeys = settings.ShortCutControl;
  run.stopKey = settings.StopKey;
  return run;
}

ExportPlan PlanExport(const std::string& scriptPath, const PackedRun& run) {
  ExportPlan plan;
  Payload& p = plan.payload;
  if (!ReadWholeFile(scriptPath, p.script)) {
    plan.error = "无法打开脚本“" + scriptPath + "”";
    return plan;
  }
  if (p.script.size() > UINT32_MAX) {
    plan.error = "脚本“" + scriptPath + "”太大，无法打包";
    return plan;
  }
  p.scriptName = BaseName(scriptPath);
  p.run = run;
  Reached reached = FilesReached(p.script, FolderOf(scriptPath), [](const std::string& path, std::string& bytes) {
    return ReadWholeFile(path, bytes);
  });
  if (!reached.error.empty()) {
    plan.error = std::move(reached.error);
    return plan;
  }
  p.files = std::move(reached.files);
  return plan;
}

std::string WriteExportedProgram(const std::string& programPath, const Payload& payload, const std::string& output,
                                 const std::string& scriptPath) {
  if (SameFile(output, programPath)) return "不能写到正在运行的程序自身：" + output;
  if (SameFile(output, scriptPath)) return "不能写到脚本文件自身：" + output;
  std::string program;
  if (!ReadWholeFile(programPath, program)) return "无法读取程序文件“" + programPath + "”";
  const std::optional<uint64_t> end = ImageEnd(program);
  if (!end) return "程序文件“" + programPath + "”已损坏";
  program.resize(*end);
  program += WritePayload(payload);
  if (!WriteFileAtomically(output, program)) return "无法写入“" + output + "”";
  return {};
}

PackedPlay PlayOf(const Payload& payload, PackedFiles::NewScratchFile newScratchFile) {
  PackedPlay play;
  play.source = play::ScriptSource::Box(payload.script);
  play.source.shownInBox = false;
  play.options = payload.run.options;
  play.options.scriptFolder.clear();
  play.options.files = std::make_shared<PackedFiles>(payload.files, std::move(newScratchFile));
  return play;
}

std::string SizeText(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " 字节";
  const bool mega = bytes >= 1024 * 1024;
  const uint64_t tenths = (bytes * 10 + (mega ? 512 * 1024 : 512)) / (mega ? 1024 * 1024 : 1024);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + (mega ? " MB" : " KB");
}

std::string DescribeFiles(const Payload& p) {
  std::string t = p.scriptName + "（" + SizeText(p.script.size()) + "）\n";
  for (const PackedFile& f : p.files) t += f.name + "（" + SizeText(f.bytes.size()) + "）\n";
  return t;
}

std::string DescribeOptions(const PackedRun& run) {
  const play::RunOptions& o = run.options;
  std::string t;
  switch (o.loopMode) {
    case play::LoopMode::Count: t += "播放 " + std::to_string(std::max(o.loopCount, 1)) + " 遍"; break;
    case play::LoopMode::UntilStop: t += "循环播放，直到停止"; break;
    case play::LoopMode::Timed: t += "循环播放 " + play::FormatClock(o.loopTotalSeconds); break;
  }
  t += "，" + SpeedText(o.speedPercent) + " 倍速\n";
  if (o.gameMode) t += "游戏模式\n";
  if (o.scaleToScreen) t += "按比例映射到当前屏幕\n";
  if (o.followWindows) t += "位置跟随窗口\n";
  t += "等待窗口、颜色或图像最多 " + std::to_string(o.waitLimitSeconds) + " 秒\n";
  if (o.delayJitterPercent) t += "延迟随机浮动 " + std::to_string(o.delayJitterPercent) + "%\n";
  if (o.seed) t += "随机种子 " + std::to_string(*o.seed) + "\n";
  t += "按 Pause 停止";
  if (run.hotKeys && !Shortcut(run.stopKey).Empty()) t += "，或按 " + Shortcut(run.stopKey).Name();
  return t + "\n";
}

std::string ExtractPayload(const Payload& p, const std::string& folder) {
  std::vector<std::pair<std::filesystem::path, const std::string*>> out;
  const std::filesystem::path root = PathOf(folder);
  auto add = [&](const std::string& name, const std::string& bytes) {
    // A script that calls itself carries its own file once more: the first one goes.
    const std::filesystem::path path = root / PathOf(ExtractName(name));
    for (const auto& o : out)
      if (o.first == path) return;
    out.emplace_back(path, &bytes);
  };
  add(p.scriptName, p.script);
  for (const PackedFile& f : p.files) add(f.name, f.bytes);
  std::error_code ec;
  for (const auto& [path, bytes] : out) {
    if (std::filesystem::exists(path, ec) || ec) {
      const auto u8 = path.u8string();
      return "“" + std::string(u8.begin(), u8.end()) + "”已存在，没有解出任何文件";
    }
  }
  for (const auto& [path, bytes] : out) {
    const auto u8 = path.u8string();
    const std::string name(u8.begin(), u8.end());
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec || !WriteFileAtomically(name, *bytes)) return "无法写入“" + name + "”";
  }
  return {};
}

}  // namespace tesmuro::pack
