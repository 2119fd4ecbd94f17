// tesmuro export, and what an exported program does: the script, the files
// it reaches and the run's options packed behind a copy of this program
// (pack/export.h), which then plays them, tells what it carries or writes
// them out.
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "linux/commands.h"
#include "linux/console.h"

namespace tesmuro::linux_cli {

using linux_console::Out;

namespace {
constexpr char kSelf[] = "/proc/self/exe";
}  // namespace

int RunExport(const Options& o, const TSettings& settings) {
  const pack::ExportPlan plan = pack::PlanExport(o.file, pack::PackedRunFor(settings, o.run));
  std::string error = plan.error;
  if (error.empty()) error = pack::WriteExportedProgram(kSelf, plan.payload, *o.output, o.file);
  if (!error.empty()) {
    Out().Say("无法导出：" + error + "。");
    return kExitError;
  }
  // A program: everyone may run it, as a program the linker wrote.
  if (chmod(o.output->c_str(), 0755) != 0) {
    Out().Say("已写出 " + *o.output + "，但无法设为可执行。");
    return kExitError;
  }
  std::printf("已导出 %s：%s 和它用到的 %zu 个文件。\n", o.output->c_str(), plan.payload.scriptName.c_str(),
              plan.payload.files.size());
  return kExitOk;
}

int RunPackedProgram(const pack::Payload& payload, const std::vector<std::string>& args,
                     const std::function<Services()>& services) {
  if (args.empty()) {
    const Services s = services();
    PlayJob job;
    job.file = payload.scriptName;
    job.packed = &payload;
    // The settings are neither read nor written: the payload's options are the run's.
    return PlayScript(job, ConstructionSettings(), s);
  }
  if (args[0] == "--help" || args[0] == "-h") {
    std::printf("这个程序回放动作记录“%s”，它带有：\n%s\n回放方式：\n%s\n用法：\n"
                "  程序                    回放\n"
                "  程序 --extract 文件夹   把动作记录和它用到的文件解出到文件夹，不回放\n",
                payload.scriptName.c_str(), pack::DescribeFiles(payload).c_str(),
                pack::DescribeOptions(payload.run).c_str());
    return kExitOk;
  }
  if (args[0] == "--extract" && args.size() == 2) {
    if (const std::string error = pack::ExtractPayload(payload, args[1]); !error.empty()) {
      Out().Say("无法解出：" + error + "。");
      return kExitError;
    }
    std::printf("已把 %s 和它用到的 %zu 个文件解出到 %s。\n", payload.scriptName.c_str(), payload.files.size(),
                args[1].c_str());
    return kExitOk;
  }
  Out().Say("无法识别的参数“" + args[0] + "”：不带参数运行即回放；--extract 文件夹 解出脚本；--help 说明。");
  return kExitError;
}

}  // namespace tesmuro::linux_cli
