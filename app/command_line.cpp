#include "app/command_line.h"

#include <cctype>

#include "play/run_switches.h"

namespace tesmuro {
namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A switch is a name after '/' or '-'; "/scripts/a.crec" is a file.
bool IsSwitch(const std::string& a) {
  return a.size() >= 2 && (a[0] == '/' || a[0] == '-') && a.find_first_of("\\/:.", 1) == std::string::npos;
}

}  // namespace

namespace {

// One switch at args[i] (moving i past what it takes): false when it asks
// for the usage.
bool TakeSwitch(const std::vector<std::string>& args, size_t& i, CommandLine& c, bool& play, bool& exporting) {
  const std::string& a = args[i];
  auto fail = [&](std::string why) {
    if (c.error.empty()) c.error = std::move(why);
  };
  const std::string name = Lower(a.substr(1));
  const bool hasValue = i + 1 < args.size();
  if (name == "?" || name == "h" || name == "help") return false;
  if (name == "play") {
    play = true;
    if (!hasValue || IsSwitch(args[i + 1])) {
      fail("/play 后面缺少要播放的文件");
    } else {
      if (!c.file.empty()) fail("命令行中只能有一个文件：" + args[i + 1]);
      c.file = args[++i];
    }
  } else if (name == "export") {
    exporting = true;
    if (!hasValue || IsSwitch(args[i + 1])) {
      fail("/export 后面缺少要导出的文件");
    } else {
      if (!c.file.empty()) fail("命令行中只能有一个文件：" + args[i + 1]);
      c.file = args[++i];
    }
  } else if (name == "o") {
    if (!hasValue) {
      fail("/o 后面缺少要写出的程序文件");
    } else {
      c.output = args[++i];
    }
  } else if (name == "exit") {
    c.exitWhenDone = true;
  } else if (const play::RunSwitch* s = play::FindRunSwitch(name, play::SwitchStyle::Windows)) {
    // A switch with a value takes the next argument, whatever it is.
    const std::string* value = s->HasValue() && hasValue ? &args[++i] : nullptr;
    fail(play::ApplyRunSwitch(*s, "/" + name, value, c.run));
  } else {
    fail("未知的命令行开关：" + a);
  }
  return true;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine c;
  bool play = false, exporting = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (!IsSwitch(args[i])) {
      if (!c.file.empty() && c.error.empty()) c.error = "命令行中只能有一个文件：" + args[i];
      c.file = args[i];
    } else if (!TakeSwitch(args, i, c, play, exporting)) {
      c.action = CommandLine::Action::Usage;
      return c;
    }
  }
  auto fail = [&](std::string why) {
    if (c.error.empty()) c.error = std::move(why);
  };
  if (play && exporting) fail("/play 和 /export 只能选一个");
  if (exporting && c.output.empty()) fail("/export 需要用 /o 指定要写出的程序文件");
  if (!exporting && !c.output.empty()) fail("/o 只能与 /export 一起使用");
  if (!play && !exporting && (c.run.loops || c.run.forSeconds || c.run.speedPercent))
    fail("/loops、/for 和 /speed 只能与 /play 或 /export 一起使用");
  if (!play && c.exitWhenDone) fail("/exit 只能与 /play 一起使用");
  if (!play && !exporting && c.run.seed) fail("/seed 只能与 /play 或 /export 一起使用");
  if (c.run.loops && c.run.forSeconds)
    fail(play::NameRunSwitches(play::SwitchStyle::Windows, [](const play::RunSwitch& s) { return s.loopMode; }) +
         " 只能选一个");
  if (exporting) {
    c.action = CommandLine::Action::Export;
  } else if (play) {
    c.action = CommandLine::Action::Play;
  } else if (!c.file.empty()) {
    c.action = CommandLine::Action::Open;
  }
  return c;
}

const char* CommandLineUsage() {
  return "用法：\n"
         "  Tesmuro.exe [文件]\n"
         "  Tesmuro.exe /play 文件 [/loops N | /for 时:分:秒] [/speed X] [/seed N] [/game] [/scale] [/exit]\n"
         "  Tesmuro.exe /export 文件 /o 程序.exe [/loops N | /for 时:分:秒] [/speed X] [/game] [/scale]\n"
         "\n"
         "文件\t打开这个动作记录文件。\n"
         "/play 文件\t启动后按当前设置播放这个文件。\n"
         "/loops N\t本次播放 N 遍。\n"
         "/for 时:分:秒\t本次循环播放这么长时间（每遍都会播完）。\n"
         "/speed X\t本次以 X 倍速播放（0.1 到 100）。\n"
         "/seed N\t本次的随机延迟和延迟随机浮动取这个种子（0 到 18446744073709551615），"
         "同一种子的播放完全相同。\n"
         "/game\t本次运行使用游戏模式：录制鼠标的相对移动，按扫描码回放按键。\n"
         "/scale\t本次运行把在其他屏幕上录制的坐标换算到当前屏幕。\n"
         "/exit\t播放结束后退出。退出码：0 播放完毕，1 被用户停止，2 出错（出错时不弹出提示框），"
         "3 目标窗口以管理员身份运行，回放的输入被系统拦截，4 等待窗口或颜色超时。\n"
         "/export 文件 /o 程序.exe\t把这个文件连同它用到的图像和调用的脚本导出为一个程序：双击即按当前设置"
         "（及这里给出的 /loops、/for、/speed 等）播放，无需安装本软件。\n"
         "/?\t显示本说明。\n"
         "\n"
         "开关不区分大小写，也可以用“-”开头。";
}

}  // namespace tesmuro
