#include "play/run_front.h"

namespace tesmuro::play {

namespace {
// The verdict with its exit code, from its outcome.
RunVerdict Finish(RunVerdict v) {
  switch (v.outcome) {
    case RunOutcome::Played: v.exitCode = kExitPlayed; break;
    case RunOutcome::Stopped: v.exitCode = kExitStopped; break;
    case RunOutcome::Error: v.exitCode = kExitError; break;
    case RunOutcome::Blocked: v.exitCode = kExitBlocked; break;
    case RunOutcome::WaitTimedOut: v.exitCode = kExitWaitTimedOut; break;
  }
  return v;
}
}  // namespace

RunVerdict Verdict(const RunEnd& end, size_t titleColumns) {
  RunVerdict v;
  const StopReason& r = end.why;
  auto title = [&] { return ShortenTitle(r.what, titleColumns); };
  auto waited = [&] { return "超过 " + std::to_string(r.seconds) + " 秒"; };
  switch (end.how) {
    case RunEnd::How::Played: v.outcome = RunOutcome::Played; break;
    case RunEnd::How::StoppedByUser:
      v.outcome = RunOutcome::Stopped;
      v.text = "回放已停止（完成 " + std::to_string(end.passes) + " 遍）";
      break;
    case RunEnd::How::Blocked:
      v.outcome = RunOutcome::Blocked;
      v.text = "目标窗口以管理员身份运行，回放的输入被系统拦截";
      break;
    case RunEnd::How::Failed:
      v.outcome = RunOutcome::Error;
      v.text = "回放因程序内部错误而结束";
      break;
    case RunEnd::How::OnLine:
      v.onLine = true;
      v.outcome = RunOutcome::Error;  // a line that cannot be played, unless a wait ran out
      v.text = "第 " + std::to_string(r.line) + " 行：";
      switch (r.kind) {
        case StopReason::Kind::BadCode: v.text += "按键或滚轮的代码不是数字"; break;
        case StopReason::Kind::BadColor: v.text += "颜色应为六位十六进制数 RRGGBB"; break;
        case StopReason::Kind::ImageUnreadable: v.text += "图像文件无法读取：" + title(); break;
        case StopReason::Kind::BadText:
          v.text += "引号中的转义无效（可用 \\s \\t \\n \\r \\\" \\\\ 和 \\u{十六进制}）";
          break;
        case StopReason::Kind::TypedTextCut:
          v.text += "输入文本的文本应在引号之间，最长 16383 字节（空格写作 \\s），可分成几行输入文本";
          break;
        case StopReason::Kind::BadTypeInterval:
          v.text += "输入文本的间隔应为 0 到 60000 的整数毫秒";
          break;
        case StopReason::Kind::BadKeyName:
          v.text += "等待按键的按键名称无效：“" + title() + "”（可写 F8、Ctrl+Enter 等）";
          break;
        case StopReason::Kind::BadKeyWaitSeconds:
          v.text += "等待按键的秒数应为 0 到 2147483647 的整数";
          break;
        case StopReason::Kind::BadDelayRange:
          v.text += "随机延迟应为“最短,最长”：0 到 2147483647 的整数毫秒，最短不大于最长";
          break;
        case StopReason::Kind::BadStructure:
          v.text += r.what + "，脚本没有播放";
          return Finish(v);
        case StopReason::Kind::CallFailed: v.text += r.what; break;
        case StopReason::Kind::WindowTimedOut:
          v.outcome = RunOutcome::WaitTimedOut;
          v.text += "等待窗口“" + title() + "”" + waited();
          break;
        case StopReason::Kind::ColorTimedOut:
          v.outcome = RunOutcome::WaitTimedOut;
          v.text += "等待颜色 " + r.what + " " + waited();
          break;
        case StopReason::Kind::KeyTimedOut:
          v.outcome = RunOutcome::WaitTimedOut;
          v.text += "等待按键 " + r.what + " " + waited();
          break;
        case StopReason::Kind::ImageTimedOut:
          v.outcome = RunOutcome::WaitTimedOut;
          v.text += "等待图像“" + title() + "”" + waited();
          break;
      }
      v.text += "，回放已停止";
      break;
  }
  return Finish(v);
}

}  // namespace tesmuro::play
