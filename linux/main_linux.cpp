// tesmuro: the Linux program. Records global input on X11 into an action
// script and plays scripts back, with the same recorders and player as the
// Windows program, so scripts go both ways.
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "setup/settings.h"
#include "linux/cli.h"
#include "linux/files.h"
#include "linux/x_session.h"
#include "os/monotonic_posix.h"
#include "os/pc_keyboard.h"
#include "os/platform.h"
#include "play/injection_log.h"
#include "play/input_sink_x11.h"
#include "play/play_clock_linux.h"
#include "play/playback_session.h"
#include "play/run_thread.h"
#include "play/shutdown.h"
#include "record/key_hook.h"
#include "record/modifier_tracker.h"
#include "record/mouse_hook.h"
#include "record/recording_session.h"
#include "record/record_sink.h"
#include "record/x_input_translator.h"
#include "record/x_record_x11.h"
#include "script/script_format.h"
#include "util/file_io.h"

// Xlib last: its macros (None, Status, ...) would clash with the names above.
#include <X11/Xlib.h>
#undef None

#ifndef TESMURO_VERSION
#define TESMURO_VERSION "1.0.0"
#endif

namespace tesmuro {
namespace {

using linux_cli::Command;
using linux_cli::Options;

// The exit codes are those of a run's outcomes (0 played, 1 stopped by the
// user, 2 an error); a recording ends with 0 or 2.
constexpr int ExitCode(play::RunOutcome outcome) { return static_cast<int>(outcome); }
constexpr int kExitOk = ExitCode(play::RunOutcome::Played);
constexpr int kExitError = ExitCode(play::RunOutcome::Error);

// A millisecond tick count on the monotonic clock (wraps like the Windows one).
uint32_t MillisecondTick() { return static_cast<uint32_t>(os::MonotonicMicros() / 1000); }

int g_signalFd = -1;

void OnSignal(int) {
  const uint64_t one = 1;
  (void)!::write(g_signalFd, &one, sizeof one);
}

// False (errno set) when the descriptor the handler writes to cannot be made:
// Ctrl+C and SIGTERM would not be heard.
bool InstallSignals() {
  g_signalFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (g_signalFd < 0) return false;
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  return true;
}

void DrainFd(int fd) {
  uint64_t n;
  while (::read(fd, &n, sizeof n) > 0) {
  }
}


// Messages and the one-line state display share the terminal. The state line
// is shown only on a terminal, and redrawn at most every 200 ms and only when
// its text changed: callers ask StateDue() before they build the text.
class Console {
 public:
  Console() : tty_(::isatty(STDERR_FILENO) == 1) {}
  void Say(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLocked();
    std::fprintf(stderr, "tesmuro: %s\n", text.c_str());
  }
  bool StateDue() {
    if (!tty_) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return os::MonotonicMicros() - stateAt_ >= kStateIntervalMicros;
  }
  void State(const std::string& text) {
    if (!tty_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    stateAt_ = os::MonotonicMicros();
    if (shown_ && text == state_) return;
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    state_ = text;
    shown_ = true;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLocked();
  }

 private:
  static constexpr int64_t kStateIntervalMicros = 200000;
  void ClearLocked() {
    if (shown_) std::fputs("\r\033[K", stderr);
    shown_ = false;
  }
  bool tty_;
  bool shown_ = false;
  std::string state_;
  int64_t stateAt_ = INT64_MIN / 2;
  std::mutex mutex_;
};

Console g_console;

std::string Clock(int64_t seconds) {
  char b[32];
  std::snprintf(b, sizeof b, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return b;
}

// The recorders' hooks are the RECORD context, which the program runs itself.
class XHookHost final : public IHookHost {
 public:
  bool InstallMouseHook() override { return true; }
  void UninstallMouseHook() override {}
  bool InstallKeyboardHook() override { return true; }
  void UninstallKeyboardHook() override {}
};

// No game controller can be read here: every id is out of range.
class NoControllers final : public IJoystickService {
 public:
  unsigned SetCapture(unsigned, unsigned, bool) override { return kOutOfRange; }
  unsigned ReleaseCapture(unsigned) override { return kOutOfRange; }
  unsigned GetNumDevs() override { return 0; }
  unsigned GetPosEx(unsigned) override { return kOutOfRange; }
  unsigned GetDevCaps(unsigned, JoyCaps&) override { return kOutOfRange; }

 private:
  static constexpr unsigned kOutOfRange = 165;
};

// The X server's millisecond time, followed on the monotonic clock from the
// moment it was read.
class ServerClock final : public IClock {
 public:
  ServerClock(uint32_t serverTime, int64_t monoMicros) : serverTime_(serverTime), mono_(monoMicros) {}
  uint32_t TickCount() override {
    return serverTime_ + static_cast<uint32_t>((os::MonotonicMicros() - mono_) / 1000);
  }

 private:
  uint32_t serverTime_;
  int64_t mono_;
};


// Keys held by anyone, asked of the server (for the modifier record).
struct KeymapQuery {
  char keys[32] = {};
  static bool Down(uint32_t vk, void* context) {
    const auto* q = static_cast<KeymapQuery*>(context);
    // The record asks for the left and right keys by their own virtual keys,
    // each of which has one key: the extended bit picks nothing.
    const auto key = os::KeyByVk(static_cast<uint8_t>(vk), false);
    if (!key) return false;
    const unsigned code = key->evdev + os::kXKeycodeOffset;
    return code < 256 && (q->keys[code / 8] >> (code % 8)) & 1;
  }
};

// ---------------------------------------------------------------- record

// The recorded lines (the recording session merges the clocks before it
// hands them over).
class LineStore final : public RecordSink {
 public:
  void SyncLastEventTime() override {}
  void AppendLine(std::string_view gbk) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(gbk);
  }
  void SetStatusText(int, std::string_view) override {}
  std::size_t Count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_.size();
  }
  void Truncate(std::size_t n) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (n < lines_.size()) lines_.resize(n);
  }
  std::string Text() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string t;
    for (const auto& l : lines_) t += l + "\r\n";
    return t;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

struct RecordSave {
  std::string path;
  std::string prefix;  // what --append keeps
  LineStore* lines = nullptr;
};
// Read by the X error handler, on whichever thread noticed the lost server.
std::atomic<RecordSave*> g_recordSave{nullptr};

// Writes the recording; on failure the lines go to a recovery file. True when
// the file was written.
bool SaveRecording(const RecordSave& save, std::size_t& lineCount) {
  const std::string text = save.prefix + save.lines->Text();
  lineCount = save.lines->Count();
  std::string error;
  if (linux_files::WriteFileAtomically(save.path, text, error)) return true;
  const std::string recovery = linux_files::RecoveryPath();
  std::string error2;
  if (linux_files::WriteFileAtomically(recovery, text, error2))
    g_console.Say("无法写入 " + save.path + "：" + error + "。录制的内容已保存到 " + recovery + "。");
  else
    g_console.Say("无法写入 " + save.path + "：" + error + "；也无法写入恢复文件 " + recovery + "：" + error2 +
                  "。");
  return false;
}

bool IsCtrlVk(uint32_t vk) { return vk == os::kVkLControl || vk == os::kVkRControl; }

int RunRecord(const Options& o, const TSettings& settings) {
  const bool mouseOn = !o.noMouse && (settings.RecMouse || o.noKeys);
  const bool keysOn = !o.noKeys && (settings.RecKey || o.noMouse);
  if (!mouseOn && !keysOn) {
    g_console.Say("设置中鼠标和键盘录制都已关闭，没有可录制的内容。");
    return kExitError;
  }

  RecordSave save;
  save.path = o.file;
  if (o.append) {
    std::string error;
    if (!linux_files::ReadFile(o.file, save.prefix, error) && errno != ENOENT) {
      g_console.Say("无法读取 " + o.file + "：" + error + "。");
      return kExitError;
    }
    if (!save.prefix.empty() && save.prefix.back() != '\n') save.prefix += "\r\n";
  }

  std::string error;
  Display* display = linux_x::OpenDisplay(o.display.value_or(""), {true, false}, error);
  if (!display) {
    g_console.Say(error);
    return kExitError;
  }
  if (const std::string n = linux_x::SessionNotice(); !n.empty()) g_console.Say(n);

  // Before the listener's thread starts: it may be the one to see the server go.
  linux_x::InstallErrorHandlers([] {
    std::size_t n = 0;
    if (RecordSave* save = g_recordSave.load(); save && SaveRecording(*save, n))
      std::fprintf(stderr, "tesmuro: 已录制 %zu 行，写入 %s。\n", n, save->path.c_str());
  });

  // Game mode: the pointer's relative motion (XInput 2 raw motion) in place
  // of its positions.
  const bool gameMode = mouseOn && (settings.GameMode || o.gameMode);
  record::XRecordListener listener;
  if (std::string e = listener.Start(linux_x::DisplayName(o.display.value_or("")).c_str(), true, mouseOn,
                                     gameMode);
      !e.empty()) {
    g_console.Say(e);
    return kExitError;
  }
  record::XInputTranslator translator;
  translator.SetLetters(listener.Letters());
  translator.SetNumLock(listener.NumLockOn());
  const play::ScreenRect screen = play::X11Screen(display);
  translator.SetAbsolutePointers(listener.AbsolutePointers(),
                                 PixelArea{screen.left, screen.top, screen.width, screen.height});

  XHookHost host;
  ServerClock clock(listener.ServerTimeAtStart(), listener.MonoMicrosAtStart());
  NoControllers controllers;
  LineStore lines;
  RecordingSession session(host, clock, controllers, lines);
  save.lines = &lines;
  g_recordSave = &save;

  ModifierTracker tracker;
  KeymapQuery keymap;
  XQueryKeymap(display, keymap.keys);
  tracker.Sync(&KeymapQuery::Down, &keymap);

  session.Keys().HotKeysEnabled = settings.ShortCutControl;
  session.Keys().HotStopKey = settings.StopKey;
  session.Keys().Install();  // the stop key works with keys not recorded too
  session.Start({.mouse = mouseOn, .keys = keysOn, .joy = false, .gameMode = gameMode});
  lines.AppendLine(script::ScreenLine(screen.left, screen.top, screen.width, screen.height, screen.dpi));

  std::string stopHint = "Pause 或 Ctrl+C";
  g_console.Say("开始录制到 " + o.file + (gameMode ? "（游戏模式：记录鼠标的相对移动）" : "") + "；按 " +
                stopHint + " 结束。");

  // Ctrl+C from a terminal on this display comes as Ctrl and C key presses
  // too: they are taken back from the end of the recording.
  std::size_t ctrlMark = SIZE_MAX;
  bool stop = false, lost = false;
  std::vector<record::XInputEvent> events;
  int64_t signalAt = -1;
  for (;;) {
    pollfd fds[2] = {{listener.EventFd(), POLLIN, 0}, {g_signalFd, POLLIN, 0}};
    ::poll(fds, 2, signalAt >= 0 ? 30 : 250);
    if (fds[1].revents & POLLIN) {
      DrainFd(g_signalFd);
      if (signalAt < 0) signalAt = os::MonotonicMicros();
    }
    events.clear();
    listener.Take(events);
    for (const auto& x : events) {
      std::optional<HookEvent> ev = translator.Translate(x);
      if (!ev || stop) continue;
      if (auto* m = std::get_if<MouseHookEvent>(&*ev)) {
        session.OnMouseEvent(*m);
        ctrlMark = SIZE_MAX;
        continue;
      }
      auto& k = std::get<KeyHookEvent>(*ev);
      tracker.Apply(k);
      const bool down = k.message == kWmKeyDown || k.message == kWmSysKeyDown;
      if (down && IsCtrlVk(k.vk) && ctrlMark == SIZE_MAX) ctrlMark = lines.Count();
      else if (down && !IsCtrlVk(k.vk) && k.vk != 'C') ctrlMark = SIZE_MAX;
      const HotKeyCommand command = session.OnKeyEvent(k);
      if (command == HotKeyCommand::Stop || IsEmergencyStopPress(k)) stop = true;
    }
    if (stop) break;
    if (listener.Ended()) {
      lost = true;
      break;
    }
    // After a signal, events already on their way are let in for a moment.
    if (signalAt >= 0 && os::MonotonicMicros() - signalAt > 100000) {
      if (ctrlMark != SIZE_MAX) lines.Truncate(ctrlMark);
      break;
    }
    if (g_console.StateDue())
      g_console.State("正在录制：" + std::to_string(lines.Count()) + " 行  （按 " + stopHint + " 结束）");
  }
  session.Stop();
  listener.Stop();
  g_recordSave = nullptr;
  g_console.Clear();

  std::size_t n = 0;
  if (!SaveRecording(save, n)) return kExitError;
  g_console.Say("已录制 " + std::to_string(n) + " 行，写入 " + o.file + "。");
  if (lost) {
    g_console.Say("录制在 X 服务器断开时结束。");
    return kExitError;
  }
  XCloseDisplay(display);
  return kExitOk;
}

// ---------------------------------------------------------------- play

int RunPlay(const Options& o, const TSettings& settings) {
  // One opening: the file is checked, then played from its start.
  UniqueFile file(OpenFile(o.file, "rb"));
  std::string bytes, error;
  if (!file || !linux_files::ReadRest(file.get(), bytes, error)) {
    if (!file) error = std::strerror(errno);
    g_console.Say("无法打开脚本 " + o.file + "：" + error + "。");
    return kExitError;
  }
  std::size_t bad = 0;
  if (!linux_files::IsGbkText(bytes, bad)) {
    g_console.Say(o.file + " 不是 GBK 文本（第 " + std::to_string(bad + 1) +
                  " 个字节无效）。脚本必须是 GBK 编码，例如：iconv -f UTF-8 -t GBK");
    return kExitError;
  }
  if (linux_files::LooksLikeUtf8(bytes) && bytes.find(script::kKeywordDelay) == std::string::npos &&
      bytes.find("\xE5\xBB\xB6\xE8\xBF\x9F") != std::string::npos) {  // 延迟 in UTF-8
    g_console.Say(o.file + " 是 UTF-8 文本，而脚本必须是 GBK 编码。请先转换：iconv -f UTF-8 -t GBK");
    return kExitError;
  }
  bytes.clear();
  bytes.shrink_to_fit();
  std::rewind(file.get());

  Display* display = linux_x::OpenDisplay(o.display.value_or(""), {true, true}, error);
  if (!display) {
    g_console.Say(error);
    return kExitError;
  }
  if (const std::string n = linux_x::SessionNotice(); !n.empty()) g_console.Say(n);
  linux_x::InstallErrorHandlers(nullptr);

  record::XRecordListener listener;
  if (std::string e = listener.Start(linux_x::DisplayName(o.display.value_or("")).c_str(), true, false);
      !e.empty()) {
    g_console.Say(e);
    return kExitError;
  }
  record::XInputTranslator translator;
  translator.SetLetters(listener.Letters());
  translator.SetNumLock(listener.NumLockOn());

  play::InjectionLog injected;
  play::X11InputSink sink(display, &injected, [](const std::string& t) { g_console.Say(t); });
  if (settings.ShutAfterLoops || settings.ShutAfterElapsed)
    g_console.Say("设置中的“回放后关机”在 Linux 版中不可用，已忽略。");

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

  XHookHost host;
  ServerClock clock(listener.ServerTimeAtStart(), listener.MonoMicrosAtStart());
  TKeyHook keys(host, clock);
  keys.HotKeysEnabled = settings.ShortCutControl;
  keys.HotStopKey = settings.StopKey;
  keys.Install();
  ModifierTracker tracker;
  KeymapQuery keymap;
  XQueryKeymap(display, keymap.keys);
  tracker.Sync(&KeymapQuery::Down, &keymap);
  class NoLines final : public RecordSink {
    void SyncLastEventTime() override {}
    void AppendLine(std::string_view) override {}
    void SetStatusText(int, std::string_view) override {}
  } noLines;

  const uint32_t start = MillisecondTick();
  play::TRunThread& t = session.Start(file.release(), RunOptionsFor(settings, request), start);

  std::vector<record::XInputEvent> events;
  while (session.Playing()) {
    pollfd fds[2] = {{listener.EventFd(), POLLIN, 0}, {g_signalFd, POLLIN, 0}};
    ::poll(fds, 2, 200);
    if (fds[1].revents & POLLIN) {
      DrainFd(g_signalFd);
      t.RequestStop(true);
    }
    events.clear();
    listener.Take(events);
    const int64_t now = os::MonotonicMicros();
    for (auto x : events) {
      if (x.type != record::kXKeyPress && x.type != record::kXKeyRelease) continue;
      x.injected = injected.TakeIfOurs(x.detail, x.type == record::kXKeyPress, now);
      std::optional<HookEvent> ev = translator.Translate(x);
      if (!ev) continue;
      auto& k = std::get<KeyHookEvent>(*ev);
      tracker.Apply(k);
      if (KeyInjected(k.flags)) continue;  // the script's own keys never stop it
      if (keys.OnEvent(k, noLines) == HotKeyCommand::Stop || IsEmergencyStopPress(k)) t.RequestStop(true);
    }
    if (auto notice = t.TakeScreenNotice()) {
      g_console.Say("脚本录制于 " + std::to_string(notice->recorded.width) + "x" +
                    std::to_string(notice->recorded.height) + " 的屏幕，当前屏幕为 " +
                    std::to_string(notice->current.width) + "x" + std::to_string(notice->current.height) +
                    "；移动按原坐标回放（--scale 可按比例映射）。");
    }
    if (!g_console.StateDue()) continue;
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
    g_console.State(state);
  }
  g_console.Clear();
  const play::RunOutcome outcome = session.Outcome();
  const int64_t passes = t.Passes();
  session.Stop();  // joins the run: everything it held is released
  listener.Stop();
  XCloseDisplay(display);
  if (outcome == play::RunOutcome::Error)
    g_console.Say("脚本中有无法识别的按键代码或滚轮值，回放已结束。");
  else if (outcome == play::RunOutcome::Stopped)
    g_console.Say("回放已停止（完成 " + std::to_string(passes) + " 遍）。");
  return ExitCode(outcome);
}

int Main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  const linux_cli::ParseResult parsed = linux_cli::ParseCommandLine(args);
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "tesmuro: %s\n请用“tesmuro --help”查看用法。\n", parsed.error.c_str());
    return kExitError;
  }
  const Options& o = parsed.options;
  if (o.command == Command::Help) {
    std::fputs(linux_cli::UsageText().c_str(), stdout);
    return kExitOk;
  }
  if (o.command == Command::Version) {
    std::printf("tesmuro %s\n", TESMURO_VERSION);
    return kExitOk;
  }

  TSettings settings;
  std::string error, notice;
  const std::string settingsPath = o.settingsFile.value_or(linux_files::DefaultSettingsPath());
  if (!linux_files::LoadSettings(settingsPath, o.settingsFile.has_value(), settings, error, notice)) {
    g_console.Say(error);
    return kExitError;
  }
  if (!notice.empty()) g_console.Say(notice);

  XInitThreads();
  if (!InstallSignals()) {
    g_console.Say(std::string("无法创建信号描述符：") + std::strerror(errno) + "。");
    return kExitError;
  }
  return o.command == Command::Record ? RunRecord(o, settings) : RunPlay(o, settings);
}

}  // namespace
}  // namespace tesmuro

int main(int argc, char** argv) { return tesmuro::Main(argc, argv); }
