// tesmuro play: a script through the player onto the X server, with the stop
// key and signals heard while it runs.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "linux/commands.h"
#include "linux/console.h"
#include "linux/files.h"
#include "linux/x_session.h"
#include "os/monotonic_posix.h"
#include "play/injection_log.h"
#include "play/player_services.h"
#include "play/playback_session.h"
#include "play/run_texts.h"
#include "play/run_thread.h"
#include "play/stop_reason.h"
#include "record/key_hook.h"
#include "record/record_sink.h"
#include "script/script_format.h"

namespace tesmuro::linux_cli {
namespace {

using linux_console::Out;

// A millisecond tick count on the monotonic clock (wraps like the Windows one).
uint32_t MillisecondTick() { return static_cast<uint32_t>(os::MonotonicMicros() / 1000); }

}  // namespace

int RunPlay(const Options& o, const TSettings& settings, const Services& services) {
  return PlayScript({o.file, o.run, o.display, {}}, settings, services);
}

int PlayScript(const PlayJob& o, const TSettings& settings, const Services& services, bool* signalled) {
  // The file is checked, then the run opens it.
  std::string bytes, error;
  if (!linux_files::ReadFile(o.file, bytes, error)) {
    Out().Say("无法打开脚本 " + o.file + "：" + error + "。");
    return kExitError;
  }
  if (const std::string problem = linux_files::ScriptTextProblem(o.file, bytes); !problem.empty()) {
    Out().Say(problem);
    return kExitError;
  }
  bytes.clear();
  bytes.shrink_to_fit();

  linux_x::Session x;
  if (std::string e = x.Open(o.display.value_or(""), {.record = true, .xtest = true}, {}, nullptr,
                             [](const std::string& t) { Out().Say(t); });
      !e.empty()) {
    Out().Say(e);
    return kExitError;
  }

  play::InjectionLog injected;
  // The waits look at the desktop through a connection of their own, on the
  // player's thread; without it window lines are skipped.
  const std::shared_ptr<IDesktop> desktop = services.openDesktop(o.display.value_or(""));
  const play::PlayerServices player{services.openInput(x.display(), &injected, desktop), services.shutdown,
                                    services.newPlayClock};
  auto tellDesktop = [&desktop] {
    if (!desktop) return;
    if (const std::string n = desktop->TakeNotice(); !n.empty()) Out().Say(n);
  };
  if (settings.ShutAfterLoops || settings.ShutAfterElapsed)
    Out().Say("设置中的“回放后关机”在 Linux 版中不可用，已忽略。");

  RunRequest request = o.run;
  request.withShutdown = false;  // told above: no shutdown here
  play::PlaybackSession session([&player] { return std::make_unique<play::TRunThread>(player); });

  TKeyHook keys(x.Hooks(), x.Clock());
  keys.HotKeysEnabled = settings.ShortCutControl;
  keys.HotStopKey = settings.StopKey;
  keys.Install();
  class NoLines final : public RecordSink {
    void SyncLastEventTime() override {}
    void AppendLine(std::string_view) override {}
    void SetStatusText(int, std::string_view) override {}
  } noLines;

  const play::RunOptions options = RunOptionsFor(settings, request);
  const uint32_t start = MillisecondTick();
  if (session.Start(play::ScriptSource::File(o.file), options, start) !=
      play::PlaybackSession::StartResult::Started) {
    Out().Say("无法打开脚本 " + o.file + "：" + std::strerror(errno) + "。");
    return kExitError;
  }
  play::TRunThread& t = *session.Player();
  // A run that draws random delays says its seed once, so that it can be repeated.
  auto tellSeed = [&t] {
    if (const std::optional<uint64_t> seed = t.TakeSeedNotice()) Out().Say(play::SeedNotice(*seed, "--seed") + "。");
  };

  std::vector<record::XInputEvent> events;
  while (session.Playing()) {
    if (x.Wait(200, events)) {
      t.RequestStop(true);
      if (signalled) *signalled = true;
    }
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
    if (o.eachLook) o.eachLook();
    if (auto notice = t.TakeScreenNotice()) {
      Out().Say(play::ScreenNotMapped(notice->recorded.width, notice->recorded.height, notice->current.width,
                                      notice->current.height) +
                "（--scale 可按比例映射）。");
    }
    tellDesktop();
    tellSeed();
    if (!Out().StateDue()) continue;
    const uint32_t tick = MillisecondTick();
    const play::Progress p = session.ProgressAt(tick);
    if (!p.playing) break;
    const int64_t elapsed = static_cast<uint32_t>(tick - start) / 1000;
    Out().State(o.file + "：" + play::PlayStateText(false, p) + "，已用 " + play::FormatClock(elapsed) +
                "  （按 Pause 或 Ctrl+C 停止）");
  }
  Out().Clear();
  tellSeed();
  const play::RunOutcome outcome = session.Outcome();
  const int64_t passes = t.Passes();
  const std::optional<play::StopReason> why = t.WhyStopped();
  session.Stop();  // joins the run: everything it held is released
  tellDesktop();
  x.Close();
  if (why)
    Out().Say(play::StopReasonText(*why) + "。");
  else if (outcome == play::RunOutcome::Error)
    Out().Say("脚本中有无法识别的按键代码或滚轮值，回放已结束。");
  else if (outcome == play::RunOutcome::Stopped)
    Out().Say("回放已停止（完成 " + std::to_string(passes) + " 遍）。");
  return ExitCode(outcome);
}

}  // namespace tesmuro::linux_cli
