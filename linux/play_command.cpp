// tesmuro play: a script through the player onto the X server, with the stop
// key and signals heard while it runs.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "linux/commands.h"
#include "linux/console.h"
#include "linux/files.h"
#include "linux/x_session.h"
#include "os/monotonic_posix.h"
#include "play/injection_log.h"
#include "play/input_sink_x11.h"
#include "play/play_clock_linux.h"
#include "play/playback_session.h"
#include "play/run_thread.h"
#include "play/shutdown.h"
#include "record/key_hook.h"
#include "record/record_sink.h"
#include "script/script_format.h"
#include "util/file_io.h"

namespace tesmuro::linux_cli {
namespace {

using linux_console::Out;

// A millisecond tick count on the monotonic clock (wraps like the Windows one).
uint32_t MillisecondTick() { return static_cast<uint32_t>(os::MonotonicMicros() / 1000); }

std::string Clock(int64_t seconds) {
  char b[32];
  std::snprintf(b, sizeof b, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return b;
}

}  // namespace

int RunPlay(const Options& o, const TSettings& settings) {
  // One opening: the file is checked, then played from its start.
  UniqueFile file(OpenFile(o.file, "rb"));
  std::string bytes, error;
  if (!file || !linux_files::ReadRest(file.get(), bytes, error)) {
    if (!file) error = std::strerror(errno);
    Out().Say("无法打开脚本 " + o.file + "：" + error + "。");
    return kExitError;
  }
  std::size_t bad = 0;
  if (!linux_files::IsGbkText(bytes, bad)) {
    Out().Say(o.file + " 不是 GBK 文本（第 " + std::to_string(bad + 1) +
              " 个字节无效）。脚本必须是 GBK 编码，例如：iconv -f UTF-8 -t GBK");
    return kExitError;
  }
  if (linux_files::LooksLikeUtf8(bytes) && bytes.find(script::kKeywordDelay) == std::string::npos &&
      bytes.find("\xE5\xBB\xB6\xE8\xBF\x9F") != std::string::npos) {  // 延迟 in UTF-8
    Out().Say(o.file + " 是 UTF-8 文本，而脚本必须是 GBK 编码。请先转换：iconv -f UTF-8 -t GBK");
    return kExitError;
  }
  bytes.clear();
  bytes.shrink_to_fit();
  std::rewind(file.get());

  linux_x::Session x;
  if (std::string e = x.Open(o.display.value_or(""), {.record = true, .xtest = true}, {}, nullptr,
                             [](const std::string& t) { Out().Say(t); });
      !e.empty()) {
    Out().Say(e);
    return kExitError;
  }

  play::InjectionLog injected;
  play::X11InputSink sink(x.display(), &injected, [](const std::string& t) { Out().Say(t); });
  if (settings.ShutAfterLoops || settings.ShutAfterElapsed)
    Out().Say("设置中的“回放后关机”在 Linux 版中不可用，已忽略。");

  RunRequest request;
  request.loops = o.loops;
  request.untilStop = o.untilStop;
  request.forSeconds = o.forSeconds;
  request.speedPercent = o.speedPercent;
  request.scaleToScreen = o.scale;
  request.withShutdown = false;  // told above: no shutdown here
  // The POSIX half's requester shuts nothing down.
  play::PlaybackSession session([&sink] {
    return std::make_unique<play::TRunThread>(sink, play::SystemShutdownRequester(),
                                              std::make_unique<play::LinuxPlayClock>());
  });

  TKeyHook keys(x.Hooks(), x.Clock());
  keys.HotKeysEnabled = settings.ShortCutControl;
  keys.HotStopKey = settings.StopKey;
  keys.Install();
  class NoLines final : public RecordSink {
    void SyncLastEventTime() override {}
    void AppendLine(std::string_view) override {}
    void SetStatusText(int, std::string_view) override {}
  } noLines;

  const uint32_t start = MillisecondTick();
  play::TRunThread& t = session.Start(file.release(), RunOptionsFor(settings, request), start);

  std::vector<record::XInputEvent> events;
  while (session.Playing()) {
    if (x.Wait(200, events)) t.RequestStop(true);
    const int64_t now = os::MonotonicMicros();
    for (auto e : events) {
      if (e.type != record::kXKeyPress && e.type != record::kXKeyRelease) continue;
      e.injected = injected.TakeIfOurs(e.detail, e.type == record::kXKeyPress, now);
      std::optional<HookEvent> ev = x.Translate(e);
      if (!ev) continue;
      auto& k = std::get<KeyHookEvent>(*ev);
      if (KeyInjected(k.flags)) continue;  // the script's own keys never stop it
      if (keys.OnEvent(k, noLines) == HotKeyCommand::Stop || IsEmergencyStopPress(k)) t.RequestStop(true);
    }
    if (auto notice = t.TakeScreenNotice()) {
      Out().Say("脚本录制于 " + std::to_string(notice->recorded.width) + "x" +
                std::to_string(notice->recorded.height) + " 的屏幕，当前屏幕为 " +
                std::to_string(notice->current.width) + "x" + std::to_string(notice->current.height) +
                "；移动按原坐标回放（--scale 可按比例映射）。");
    }
    if (!Out().StateDue()) continue;
    const uint32_t tick = MillisecondTick();
    const play::PlaybackSession::Progress p = session.ProgressAt(tick);
    if (!p.playing) break;
    const int64_t elapsed = static_cast<uint32_t>(tick - start) / 1000;
    std::string state = "正在回放 " + o.file + "：";
    if (p.mode == 0)
      state += "第 " + std::to_string(std::min<int64_t>(p.passesDone + 1, p.passCount)) + "/" +
               std::to_string(p.passCount) + " 遍";
    else
      state += "第 " + std::to_string(p.passesDone + 1) + " 遍";
    if (p.mode == 2) state += "，剩余 " + Clock(std::max<int64_t>(p.secondsLeft, 0));
    state += "，已用 " + Clock(elapsed) + "  （按 Pause 或 Ctrl+C 停止）";
    Out().State(state);
  }
  Out().Clear();
  const play::RunOutcome outcome = session.Outcome();
  const int64_t passes = t.Passes();
  session.Stop();  // joins the run: everything it held is released
  x.Close();
  if (outcome == play::RunOutcome::Error)
    Out().Say("脚本中有无法识别的按键代码或滚轮值，回放已结束。");
  else if (outcome == play::RunOutcome::Stopped)
    Out().Say("回放已停止（完成 " + std::to_string(passes) + " 遍）。");
  return ExitCode(outcome);
}

}  // namespace tesmuro::linux_cli
