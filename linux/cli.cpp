#include "linux/cli.h"

#include "play/run_switches.h"
#include "script/thin_moves.h"
#include "setup/settings.h"

namespace tesmuro::linux_cli {

namespace {

// "X,Y,W,H": whole numbers, X and Y may be negative, W and H at least 1.
std::optional<DesktopRect> ParseArea(const std::string& text) {
  int64_t v[4] = {};
  std::size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && (at >= text.size() || text[at++] != ',')) return std::nullopt;
    const bool negative = at < text.size() && text[at] == '-' && i < 2;
    if (negative) ++at;
    const std::size_t digits = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - digits < 9) v[i] = v[i] * 10 + (text[at++] - '0');
    if (at == digits) return std::nullopt;
    if (negative) v[i] = -v[i];
  }
  if (at != text.size() || v[2] < 1 || v[3] < 1) return std::nullopt;
  return DesktopRect{static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]), static_cast<int32_t>(v[2]),
                     static_cast<int32_t>(v[3])};
}

// The line as it is read: the options so far, the words that are not
// options, and how many loop modes were asked.
struct Reading {
  const std::vector<std::string>& args;
  std::size_t i = 0;
  Options& o;
  std::vector<std::string> positional;
  int loopModes = 0;
};

// One option: args[r.i] as `name`, with `value` when it came after '='.
// Empty, or what is wrong with it.
std::string TakeOption(Reading& r, const std::string& name, std::optional<std::string> value) {
  Options& o = r.o;
  // The next argument, whatever it is, when the value did not come after '='.
  auto takeValue = [&]() -> const std::string* {
    if (!value && r.i + 1 < r.args.size()) value = r.args[++r.i];
    return value ? &*value : nullptr;
  };
  auto flag = [&](bool& target) {
    target = true;
    return value ? "选项 " + name + " 不带参数。" : std::string();
  };
  // "--loops", or the short form "-n".
  const bool isLong = name.rfind("--", 0) == 0;
  const std::string_view bare = std::string_view(name).substr(isLong ? 2 : 1);
  if (const play::RunSwitch* s = play::FindRunSwitch(bare, play::SwitchStyle::Gnu);
      s && (isLong ? s->name == bare : bare.size() == 1 && s->shortName == bare[0])) {
    if (s->loopMode) ++r.loopModes;
    if (!s->HasValue() && value) return "选项 " + name + " 不带参数。";
    const std::string e = play::ApplyRunSwitch(*s, name, s->HasValue() ? takeValue() : nullptr, o.run);
    return e.empty() ? e : e + "。";
  }
  if (name == "--no-mouse") return flag(o.noMouse);
  if (name == "--no-keys") return flag(o.noKeys);
  if (name == "--append") return flag(o.append);
  if (name == "--area") {
    if (!takeValue()) return "选项 --area 需要一个区域（左,上,宽,高）。";
    o.area = ParseArea(*value);
    return o.area ? "" : "区域“" + *value + "”无效：应为 左,上,宽,高 四个整数，宽和高至少为 1。";
  }
  if (name == "--file") {
    if (!takeValue() || value->empty()) return "选项 --file 需要一个热键文件名。";
    o.rowsFile = value;
  } else if (name == "--tolerance") {
    if (!takeValue()) return "选项 --tolerance 需要一个像素数。";
    o.tolerance = script::ParseThinTolerance(*value);
    if (!o.tolerance)
      return "容差“" + *value + "”无效：应为 0 到 " + std::to_string(script::kMaxThinTolerance) + " 的整数（像素）。";
  } else if (name == "-o" || name == "--output") {
    if (!takeValue() || value->empty()) return "选项 " + name + " 需要一个文件名。";
    o.output = value;
  } else if (name == "--settings") {
    if (!takeValue()) return "选项 --settings 需要一个文件名。";
    o.settingsFile = value;
  } else if (name == "--display") {
    if (!takeValue()) return "选项 --display 需要一个显示名。";
    o.display = value;
  } else {
    return "未知选项“" + r.args[r.i] + "”。";
  }
  return {};
}

// Reads the arguments into `r`; empty, or what is wrong. Stops at --help and
// --version.
std::string ReadArguments(Reading& r) {
  for (; r.i < r.args.size(); ++r.i) {
    const std::string& a = r.args[r.i];
    if (a == "--") {
      r.positional.insert(r.positional.end(), r.args.begin() + static_cast<std::ptrdiff_t>(r.i) + 1, r.args.end());
      break;
    }
    if (a.size() < 2 || a[0] != '-') {
      r.positional.push_back(a);
      continue;
    }
    const std::size_t eq = a.rfind("--", 0) == 0 ? a.find('=') : std::string::npos;
    const std::string name = a.substr(0, eq);
    if (name == "-h" || name == "--help" || name == "-V" || name == "--version") {
      r.o.command = name == "-V" || name == "--version" ? Command::Version : Command::Help;
      return {};
    }
    if (std::string e = TakeOption(r, name, eq == std::string::npos ? std::nullopt : std::optional(a.substr(eq + 1)));
        !e.empty())
      return e;
  }
  return {};
}

// The command; empty, or what is wrong.
std::string TakeCommand(Reading& r) {
  Options& o = r.o;
  if (r.positional.empty()) return "缺少命令：record、play、capture、hotkeys、thin 或 export。";
  const std::string& command = r.positional[0];
  static const std::pair<const char*, Command> kCommands[] = {
      {"record", Command::Record}, {"play", Command::Play},   {"capture", Command::Capture},
      {"hotkeys", Command::Hotkeys}, {"thin", Command::Thin}, {"export", Command::Export},
      {"help", Command::Help}};
  for (const auto& [word, c] : kCommands)
    if (command == word) o.command = c;
  if (o.command == Command::None)
    return "未知命令“" + command + "”：应为 record、play、capture、hotkeys、thin 或 export。";
  if (o.command == Command::Help) return {};
  if (o.command == Command::Hotkeys) {
    if (r.positional.size() > 1) return "多余的参数“" + r.positional[1] + "”（热键文件用 --file 指定）。";
  }
  return {};
}

// The file of a command that takes one; empty, or what is wrong.
std::string TakeFile(Reading& r) {
  Options& o = r.o;
  if (r.positional.size() < 2) return o.command == Command::Capture ? "缺少图像文件名。" : "缺少脚本文件名。";
  if (r.positional.size() > 2) return "多余的参数“" + r.positional[2] + "”。";
  o.file = r.positional[1];
  if (o.file.empty()) return o.command == Command::Capture ? "图像文件名为空。" : "脚本文件名为空。";
  return {};
}

// The file and the options the command takes; empty, or what is wrong.
std::string CheckOptionsOf(Reading& r) {
  const Options& o = r.o;
  const bool runAsked = o.run != play::RunRequest{}, recordAsked = o.noMouse || o.noKeys || o.append;
  if (o.command == Command::Hotkeys)
    return runAsked || recordAsked || o.area ? "hotkeys 只接受 --file、--settings 和 --display。" : "";
  if (o.rowsFile) return "--file 只用于 hotkeys。";
  if (o.tolerance && o.command != Command::Thin) return "--tolerance 只用于 thin。";
  if (o.output && o.command != Command::Thin && o.command != Command::Export) return "-o 只用于 thin 和 export。";
  if (std::string e = TakeFile(r); !e.empty()) return e;
  if (o.command == Command::Export && !o.output) return "export 需要用 -o 指定要写出的程序。";
  if (o.command == Command::Export && o.display) return "--display 不用于 export。";
  if (o.area && o.command != Command::Capture) return "--area 只用于 capture。";
  if (o.command == Command::Thin)
    return runAsked || recordAsked || o.settingsFile || o.display ? "thin 只接受 --tolerance 和 -o。" : "";
  if (o.command == Command::Capture)
    return runAsked || recordAsked || o.settingsFile ? "capture 只接受 --area 和 --display。" : "";
  if (o.command == Command::Record) {
    // Of the run's options record takes game mode alone.
    play::RunRequest recordable;
    recordable.gameMode = o.run.gameMode;
    if (o.run != recordable)
      return play::NameRunSwitches(play::SwitchStyle::Gnu, [](const play::RunSwitch& s) { return !s.recording; }) +
             " 只用于 play。";
    if (o.noMouse && o.noKeys) return "--no-mouse 和 --no-keys 同时使用时没有可录制的内容。";
    if (o.noMouse && o.run.gameMode) return "--game 录制鼠标的相对移动，不能与 --no-mouse 同时使用。";
    return {};
  }
  if (recordAsked) return "--no-mouse、--no-keys 和 --append 只用于 record。";
  if (o.run.gameMode) return "--game 只用于 record：Linux 版的回放不受游戏模式影响。";
  if (r.loopModes > 1)
    return play::NameRunSwitches(play::SwitchStyle::Gnu, [](const play::RunSwitch& s) { return s.loopMode; }) +
           " 只能选一个。";
  return {};
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
  ParseResult result;
  Reading r{args, 0, result.options, {}, 0};
  result.error = ReadArguments(r);
  if (!result.error.empty() || result.options.command != Command::None) return result;
  result.error = TakeCommand(r);
  if (result.error.empty() && result.options.command != Command::Help) result.error = CheckOptionsOf(r);
  return result;
}

std::string UsageText() {
  return "用法：tesmuro record 文件 [--no-mouse] [--no-keys] [--append] [--game]\n"
         "      tesmuro play 文件 [--loops N | --until-stop | --for 时:分:秒] [--speed X] [--scale]\n"
         "                        [--wait-limit 秒数] [--seed N]\n"
         "      tesmuro capture 图像.png [--area 左,上,宽,高]\n"
         "      tesmuro hotkeys [--file 热键文件]\n"
         "      tesmuro thin 文件 [--tolerance 像素] [-o 输出文件]\n"
         "      tesmuro export 文件 -o 程序 [回放选项]\n"
         "      tesmuro --help | --version\n"
         "\n"
         "在 X11 桌面上录制和回放鼠标与键盘操作。脚本（.crec）为 GBK 文本，与 Windows 版通用。\n"
         "\n"
         "命令：\n"
         "  record 文件        录制全局输入，直到按下停止键（默认：Pause 键）或 Ctrl+C，\n"
         "                     然后写入文件\n"
         "  play 文件          回放脚本；按停止键、Pause 键或 Ctrl+C 停止\n"
         "  capture 图像.png   把现在的屏幕（或 --area 给出的区域）存为 PNG 图像，\n"
         "                     供脚本中的 等待图像 和 点击图像 使用\n"
         "  hotkeys            监听热键文件中每行的热键，按下时按设置回放那一行的脚本\n"
         "                     （遍数取自该行）；Ctrl+C 结束\n"
         "  thin 文件          精简录制的鼠标轨迹：删去与前后保留的 移动 连线相距不超过容差的\n"
         "                     移动 行，其延迟并入下一行保留的移动；点击等动作的时间和位置不变\n"
         "  export 文件        把脚本连同它用到的图像和调用的脚本导出为一个程序：不带参数运行\n"
         "                     它即按设置（及这里给出的回放选项）回放，无需安装本软件；\n"
         "                     “程序 --extract 文件夹”解出其中的脚本和文件，“程序 --help”说明它\n"
         "\n"
         "录制选项：\n"
         "      --no-mouse     不录制鼠标\n"
         "      --no-keys      不录制键盘\n"
         "      --append       追加到已有文件末尾，而不是覆盖\n"
         "      --game         游戏模式：记录鼠标的相对移动（相对移动 dx,dy，XInput 2 的原始\n"
         "                     移动，未经加速），而不是位置（设置文件第 28 行打开时总是如此）\n"
         "\n"
         "回放选项：\n"
         "  -n, --loops N      回放 N 遍（1 到 2147483647）\n"
         "      --until-stop   循环回放，直到被停止\n"
         "      --for 时:分:秒  循环回放这么长时间（每遍都会播完）\n"
         "  -s, --speed X      以录制速度的 X 倍回放（0.1 到 100）\n"
         "      --scale        把在其他尺寸屏幕上录制的移动按比例映射到当前屏幕\n"
         "      --wait-limit 秒数  等待脚本中的窗口、颜色或图像最多这么多秒（0 到 86400；0：不等待，\n"
         "                     只跟随窗口）；不指定时用设置中的值\n"
         "      --seed N       随机延迟和延迟随机浮动取这个种子（0 到 18446744073709551615），\n"
         "                     同一种子的回放完全相同；不指定时每次不同，回放开始抽取时显示种子\n"
         "\n"
         "截图选项：\n"
         "      --area 左,上,宽,高  只截取这个区域（屏幕像素）\n"
         "\n"
         "热键选项：\n"
         "      --file 文件    使用这个热键文件，而不是设置文件旁的 Quorlin.qlkeys\n"
         "                     （每行：热键<Tab>遍数<Tab>脚本文件，UTF-8）\n"
         "\n"
         "精简选项：\n"
         "      --tolerance 像素  容差（0 到 10000，默认 2）\n"
         "  -o, --output 文件  写入这个文件，原文件不变（默认：改写原文件）；export：要写出的程序\n"
         "\n"
         "通用选项：\n"
         "      --settings 文件 使用这个设置文件，而不是 ~/.config/tesmuro/Quorlin.qlset\n"
         "      --display 名称  使用这个 X 显示，而不是 $DISPLAY\n"
         "  -h, --help         显示本帮助\n"
         "  -V, --version      显示版本\n"
         "\n"
         "选项可以写在文件名前后；“--loops 3”和“--loops=3”相同。命令行选项只对本次有效，\n"
         "不改变设置文件。\n"
         "\n"
         "退出码：0 完成（录制：文件已写入）；1 回放被用户停止；2 出错（包括脚本中无法回放的行）；\n"
         "4 等待窗口、颜色或图像超时。\n";
}

}  // namespace tesmuro::linux_cli
