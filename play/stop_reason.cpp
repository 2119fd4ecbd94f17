#include "play/stop_reason.h"

namespace tesmuro::play {

std::string StopReasonText(const StopReason& r) {
  std::string t = "第 " + std::to_string(r.line) + " 行：";
  switch (r.kind) {
    case StopReason::Kind::BadCode: t += "按键或滚轮的代码不是数字"; break;
    case StopReason::Kind::BadColor: t += "颜色应为六位十六进制数 RRGGBB"; break;
    case StopReason::Kind::WindowTimedOut:
      t += "等待窗口“" + r.what + "”超过 " + std::to_string(r.seconds) + " 秒";
      break;
    case StopReason::Kind::ColorTimedOut:
      t += "等待颜色 " + r.what + " 超过 " + std::to_string(r.seconds) + " 秒";
      break;
    case StopReason::Kind::ImageTimedOut:
      t += "等待图像“" + r.what + "”超过 " + std::to_string(r.seconds) + " 秒";
      break;
    case StopReason::Kind::ImageUnreadable: t += "图像文件无法读取：" + r.what; break;
    case StopReason::Kind::BadText:
      t += "引号中的转义无效（可用 \\s \\t \\n \\r \\\" \\\\ 和 \\u{十六进制}）";
      break;
    case StopReason::Kind::BadDelayRange:
      t += "随机延迟应为“最短,最长”：0 到 2147483647 的整数毫秒，最短不大于最长";
      break;
  }
  return t + "，回放已停止";
}

}  // namespace tesmuro::play
