#include "linux/cli.h"

#include "play/run_texts.h"
#include "script/thin_moves.h"
#include "setup/settings.h"

namespace tesmuro::linux_cli {

namespace {
// Whole seconds, digits only, 0 to kMaxWaitLimitSeconds.
std::optional<int32_t> ParseSeconds(const std::string& text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int32_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n > kMaxWaitLimitSeconds) return std::nullopt;
  return n;
}

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
}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
  ParseResult r;
  Options& o = r.options;
  std::vector<std::string> positional;
  int loopModes = 0;
  auto fail = [&](const std::string& message) {
    r.error = message;
    return r;
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") {
      for (++i; i < args.size(); ++i) positional.push_back(args[i]);
      break;
    }
    if (a.size() < 2 || a[0] != '-') {
      positional.push_back(a);
      continue;
    }
    std::string name = a, value;
    bool hasValue = false;
    if (a.rfind("--", 0) == 0) {
      const std::size_t eq = a.find('=');
      if (eq != std::string::npos) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
        hasValue = true;
      }
    }
    auto takeValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= args.size()) return false;
      value = args[++i];
      return true;
    };
    auto flag = [&](bool& target) -> bool {
      if (hasValue) return false;
      target = true;
      return true;
    };

    if (name == "-h" || name == "--help") {
      o.command = Command::Help;
      return r;
    } else if (name == "-V" || name == "--version") {
      o.command = Command::Version;
      return r;
    } else if (name == "--no-mouse") {
      if (!flag(o.noMouse)) return fail("选项 --no-mouse 不带参数。");
    } else if (name == "--no-keys") {
      if (!flag(o.noKeys)) return fail("选项 --no-keys 不带参数。");
    } else if (name == "--append") {
      if (!flag(o.append)) return fail("选项 --append 不带参数。");
    } else if (name.rfind("--", 0) == 0 && ApplyRunSwitch(std::string_view(name).substr(2), o.run)) {
      // --game, --scale
      if (hasValue) return fail("选项 " + name + " 不带参数。");
    } else if (name == "--until-stop") {
      if (!flag(o.run.untilStop)) return fail("选项 --until-stop 不带参数。");
      ++loopModes;
    } else if (name == "--loops" || name == "-n") {
      if (!takeValue()) return fail("选项 " + name + " 需要一个次数。");
      o.run.loops = play::ParsePassCount(value);
      if (!o.run.loops) return fail("次数“" + value + "”无效：应为 1 到 2147483647 的整数。");
      ++loopModes;
    } else if (name == "--for") {
      if (!takeValue()) return fail("选项 --for 需要一个时长（时:分:秒）。");
      o.run.forSeconds = play::ParseDuration(value);
      if (!o.run.forSeconds) return fail("时长“" + value + "”无效：应为 时:分:秒，例如 1:30:00。");
      ++loopModes;
    } else if (name == "--speed" || name == "-s") {
      if (!takeValue()) return fail("选项 " + name + " 需要一个倍数。");
      o.run.speedPercent = play::ParseSpeedPercent(value);
      if (!o.run.speedPercent) return fail("速度“" + value + "”无效：应为 0.1 到 100 之间的数（小数点用 .）。");
    } else if (name == "--wait-limit") {
      if (!takeValue()) return fail("选项 --wait-limit 需要一个秒数。");
      o.run.waitLimitSeconds = ParseSeconds(value);
      if (!o.run.waitLimitSeconds)
        return fail("秒数“" + value + "”无效：应为 0 到 " + std::to_string(kMaxWaitLimitSeconds) + " 的整数。");
    } else if (name == "--seed") {
      if (!takeValue()) return fail("选项 --seed 需要一个随机种子。");
      o.run.seed = play::ParseSeed(value);
      if (!o.run.seed) return fail("随机种子“" + value + "”无效：应为 0 到 18446744073709551615 的整数。");
    } else if (name == "--area") {
      if (!takeValue()) return fail("选项 --area 需要一个区域（左,上,宽,高）。");
      o.area = ParseArea(value);
      if (!o.area) return fail("区域“" + value + "”无效：应为 左,上,宽,高 四个整数，宽和高至少为 1。");
    } else if (name == "--file") {
      if (!takeValue() || value.empty()) return fail("选项 --file 需要一个热键文件名。");
      o.rowsFile = value;
    } else if (name == "--tolerance") {
      if (!takeValue()) return fail("选项 --tolerance 需要一个像素数。");
      o.tolerance = script::ParseThinTolerance(value);
      if (!o.tolerance)
        return fail("容差“" + value + "”无效：应为 0 到 " + std::to_string(script::kMaxThinTolerance) +
                    " 的整数（像素）。");
    } else if (name == "-o" || name == "--output") {
      if (!takeValue() || value.empty()) return fail("选项 " + name + " 需要一个文件名。");
      o.output = value;
    } else if (name == "--settings") {
      if (!takeValue()) return fail("选项 --settings 需要一个文件名。");
      o.settingsFile = value;
    } else if (name == "--display") {
      if (!takeValue()) return fail("选项 --display 需要一个显示名。");
      o.display = value;
    } else {
      return fail("未知选项“" + a + "”。");
    }
  }

  if (positional.empty()) return fail("缺少命令：record、play、capture、hotkeys 或 thin。");
  const std::string& command = positional[0];
  if (command == "record") {
    o.command = Command::Record;
  } else if (command == "play") {
    o.command = Command::Play;
  } else if (command == "capture") {
    o.command = Command::Capture;
  } else if (command == "hotkeys") {
    o.command = Command::Hotkeys;
    if (positional.size() > 1) return fail("多余的参数“" + positional[1] + "”（热键文件用 --file 指定）。");
    if (o.run != play::RunRequest{} || o.noMouse || o.noKeys || o.append || o.area)
      return fail("hotkeys 只接受 --file、--settings 和 --display。");
    return r;
  } else if (command == "thin") {
    o.command = Command::Thin;
  } else if (command == "help") {
    o.command = Command::Help;
    return r;
  } else {
    return fail("未知命令“" + command + "”：应为 record、play、capture、hotkeys 或 thin。");
  }
  if (o.rowsFile) return fail("--file 只用于 hotkeys。");
  if ((o.tolerance || o.output) && o.command != Command::Thin) return fail("--tolerance 和 -o 只用于 thin。");
  if (positional.size() < 2) return fail(o.command == Command::Capture ? "缺少图像文件名。" : "缺少脚本文件名。");
  if (positional.size() > 2) return fail("多余的参数“" + positional[2] + "”。");
  o.file = positional[1];
  if (o.file.empty()) return fail(o.command == Command::Capture ? "图像文件名为空。" : "脚本文件名为空。");

  if (o.area && o.command != Command::Capture) return fail("--area 只用于 capture。");
  if (o.command == Command::Thin) {
    if (o.run != play::RunRequest{} || o.noMouse || o.noKeys || o.append || o.settingsFile || o.display)
      return fail("thin 只接受 --tolerance 和 -o。");
  } else if (o.command == Command::Capture) {
    if (o.run != play::RunRequest{} || o.noMouse || o.noKeys || o.append || o.settingsFile)
      return fail("capture 只接受 --area 和 --display。");
  } else if (o.command == Command::Record) {
    // Of the run's options record takes game mode alone.
    play::RunRequest recordable;
    recordable.gameMode = o.run.gameMode;
    if (o.run != recordable)
      return fail("--loops、--until-stop、--for、--speed、--scale、--wait-limit 和 --seed 只用于 play。");
    if (o.noMouse && o.noKeys) return fail("--no-mouse 和 --no-keys 同时使用时没有可录制的内容。");
    if (o.noMouse && o.run.gameMode) return fail("--game 录制鼠标的相对移动，不能与 --no-mouse 同时使用。");
  } else {
    if (o.noMouse || o.noKeys || o.append) return fail("--no-mouse、--no-keys 和 --append 只用于 record。");
    if (o.run.gameMode) return fail("--game 只用于 record：Linux 版的回放不受游戏模式影响。");
    if (loopModes > 1) return fail("--loops、--until-stop 和 --for 只能选一个。");
  }
  return r;
}

std::string UsageText() {
  return "用法：tesmuro record 文件 [--no-mouse] [--no-keys] [--append] [--game]\n"
         "      tesmuro play 文件 [--loops N | --until-stop | --for 时:分:秒] [--speed X] [--scale]\n"
         "                        [--wait-limit 秒数] [--seed N]\n"
         "      tesmuro capture 图像.png [--area 左,上,宽,高]\n"
         "      tesmuro hotkeys [--file 热键文件]\n"
         "      tesmuro thin 文件 [--tolerance 像素] [-o 输出文件]\n"
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
         "  -o, --output 文件  写入这个文件，原文件不变（默认：改写原文件）\n"
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
