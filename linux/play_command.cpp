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
#include "os/desktop_x11.h"
#include "play/injection_log.h"
#include "play/input_sink_x11.h"
#include "play/play_clock_linux.h"
#include "play/playback_session.h"
#include "play/run_texts.h"
#include "play/run_thread.h"
#include "play/shutdown.h"
#include "play/stop_reason.h"
#include "record/key_hook.h"
#include "record/record_sink.h"
#include "script/script_format.h"

namespace tesmuro::linux_cli {
namespace {

using linux_console::Out;

// A millisecond tick count on the monotonic clock (wraps like the Windows one).
uint32_t MillisecondTick() { return static_cast<uint32_t>(os::MonotonicMicros() / 1000); }

void Say(const std::string& text) { Out().Say(text); }

// The script is read once before the run opens it: a file that cannot be
// read or is not a GBK script is said here. False when it cannot be played.
bool ScriptPlayable(const std::string& file) {
  std::string bytes, error;
  if (!linux_files::ReadFile(file, bytes, error)) {
    Say("无法打开脚本 " + file + "：" + error + "。");
    return false;
  }
  if (const std::string problem = linux_files::ScriptTextProblem(file, bytes); !problem.empty()) {
    Say(problem);
    return false;
  }
  return true;
}

// The user's stop while a run plays: the stop key of the settings and Pause,
// as the user presses them (the script's own keys never stop it). Every
// key the user presses is passed on to the run as well, for a 等待按键 it
// may be in: X tells a test's or a remote tool's keys from the keyboard's by
// no means that holds, so the user's keys are all those the player did not
// send (and the wait counts only those pressed after it began).
class StopKeys {
 public:
  StopKeys(linux_x::Session& x, const TSettings& settings, play::InjectionLog& injected)
      : x_(x), injected_(injected), keys_(x.Hooks(), x.Clock()) {
    keys_.HotKeysEnabled = settings.ShortCutControl;
    keys_.HotStopKey = settings.StopKey;
    keys_.Install();
  }
  // One of `events` stops the run.
  bool Pressed(const std::vector<record::XInputEvent>& events, play::PlaybackSession& session) {
    const int64_t now = os::MonotonicMicros();
    bool stop = false;
    for (auto e : events) {
      if (e.type != record::kXKeyPress && e.type != record::kXKeyRelease) continue;
      e.injected = injected_.TakeIfOurs(e.detail, e.type == record::kXKeyPress, now);
      std::optional<HookEvent> ev = x_.Translate(e);
      if (!ev) continue;
      auto& k = std::get<KeyHookEvent>(*ev);
      if (KeyInjected(k.flags)) continue;
      if (const std::optional<Shortcut> key = userKeys_.OnEvent(k)) session.UserKeyPressed(*key);
      if (keys_.OnEvent(k, noLines_) == HotKeyCommand::Stop || IsEmergencyStopPress(k)) stop = true;
    }
    return stop;
  }

 private:
  class NoLines final : public RecordSink {
    void SyncLastEventTime() override {}
    void AppendLine(std::string_view) override {}
    void SetStatusText(int, std::string_view) override {}
  } noLines_;
  linux_x::Session& x_;
  play::InjectionLog& injected_;
  TKeyHook keys_;
  UserKeyPresses userKeys_;
};

// What a run tells while it plays, on the console: a screen of another size,
// the seed of its random draws (so that it can be repeated), the desktop's
// own notices.
void SayNotices(const play::RunNotices& n, IDesktop* desktop) {
  if (n.screen) {
    Say(play::ScreenNotMapped(n.screen->recorded.width, n.screen->recorded.height, n.screen->current.width,
                              n.screen->current.height) +
        "（--scale 可按比例映射）。");
  }
  if (desktop)
    if (const std::string t = desktop->TakeNotice(); !t.empty()) Say(t);
  if (n.seed) Say(play::SeedNotice(*n.seed, "--seed") + "。");
}

// The state line: the run's progress, the time since it started and the
// wait it is in (a 等待按键 tells the user which key to press).
void ShowState(const play::PlaybackSession& session, const std::string& file, uint32_t start,
               const std::optional<play::WaitProgress>& wait) {
  if (!Out().StateDue()) return;
  const uint32_t tick = MillisecondTick();
  const play::Progress p = session.ProgressAt(tick);
  if (!p.playing) return;
  const int64_t elapsed = static_cast<uint32_t>(tick - start) / 1000;
  Out().State(file + "：" + play::PlayStateText(false, p) + "，已用 " + play::FormatClock(elapsed) +
              (wait ? "，" + play::WaitProgressText(*wait) : "") + "  （按 Pause 或 Ctrl+C 停止）");
}

}  // namespace

int RunPlay(const Options& o, const TSettings& settings, const Services& services) {
  return PlayScript({o.file, o.run, o.display, {}}, settings, services);
}

int PlayScript(const PlayJob& o, const TSettings& settings, const Services& services, bool* signalled) {
  if (!o.packed && !ScriptPlayable(o.file)) return kExitError;
  linux_x::Session x;
  if (std::string e = x.Open(o.display.value_or(""), {.record = true, .xtest = true}, {}, nullptr, Say);
      !e.empty()) {
    Say(e);
    return kExitError;
  }
  play::InjectionLog injected;
  // The waits look at the desktop through a connection of their own, on the
  // player's thread; without it window lines are skipped.
  std::shared_ptr<IDesktop> desktop = services.openDesktop(o.display.value_or(""));
  const play::PlayerServices player{services.openInput(x.display(), &injected, desktop), services.shutdown,
                                    services.newPlayClock};
  if (!o.packed && (settings.ShutAfterLoops || settings.ShutAfterElapsed))
    Say("设置中的“回放后关机”在 Linux 版中不可用，已忽略。");
  RunRequest request = o.run;
  request.withShutdown = false;  // told above: no shutdown here
  play::PlaybackSession session([&player] { return std::make_unique<play::TRunThread>(player); });
  TSettings keys = settings;
  if (o.packed) keys.ShortCutControl = o.packed->run.hotKeys, keys.StopKey = o.packed->run.stopKey;
  StopKeys stopKeys(x, keys, injected);
  const uint32_t start = MillisecondTick();
  std::optional<pack::PackedPlay> packed;
  if (o.packed) packed = pack::PlayOf(*o.packed);
  if (session.Start(packed ? packed->source : play::ScriptSource::File(o.file),
                    packed ? packed->options : RunOptionsFor(settings, request),
                    start) != play::PlaybackSession::StartResult::Started) {
    Say("无法打开脚本 " + o.file + "：" + std::strerror(errno) + "。");
    return kExitError;
  }
  std::vector<record::XInputEvent> events;
  for (bool over = false; !over;) {
    const bool signal = x.Wait(200, events);
    if (signal && signalled) *signalled = true;
    if (stopKeys.Pressed(events, session) || signal) session.Player()->RequestStop(/*byUser=*/true);
    if (o.eachLook) o.eachLook();
    const play::RunNotices n = session.TakeNotices();
    if (n.ended) Out().Clear();
    SayNotices(n, desktop.get());
    over = n.ended;
    if (!over) ShowState(session, o.file, start, n.wait);
  }
  const play::RunVerdict verdict = session.Verdict();
  session.Stop();  // joins the run: everything it held is released
  SayNotices({}, desktop.get());
  desktop.reset();
  x.Close();
  if (!verdict.text.empty()) Say(verdict.text + "。");
  return verdict.exitCode;
}

}  // namespace tesmuro::linux_cli
