// tesmuro record: the X server's input through the recorders into a script.
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "linux/commands.h"
#include "linux/console.h"
#include "linux/files.h"
#include "linux/x_session.h"
#include "os/monotonic_posix.h"
#include "os/pc_keyboard.h"
#include "os/platform.h"
#include "record/key_hook.h"
#include "record/record_sink.h"
#include "record/recording_session.h"

namespace tesmuro::linux_cli {
namespace {

using linux_console::Out;

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
    Out().Say("无法写入 " + save.path + "：" + error + "。录制的内容已保存到 " + recovery + "。");
  else
    Out().Say("无法写入 " + save.path + "：" + error + "；也无法写入恢复文件 " + recovery + "：" + error2 + "。");
  return false;
}

bool IsCtrlVk(uint32_t vk) { return vk == os::kVkLControl || vk == os::kVkRControl; }

// What --append keeps of the file: its text, ending with a line break.
// False, after saying why, when the file is there and cannot be read.
bool ReadAppendPrefix(const std::string& file, std::string& prefix) {
  std::string error;
  if (!linux_files::ReadFile(file, prefix, error) && errno != ENOENT) {
    Out().Say("无法读取 " + file + "：" + error + "。");
    return false;
  }
  if (!prefix.empty() && prefix.back() != '\n') prefix += "\r\n";
  return true;
}

// Ctrl+C from a terminal on this display comes as Ctrl and C key presses
// too: the lines from the Ctrl on are taken back when a signal ends the
// recording. A mouse event or another key forgets the mark.
class CtrlCMark {
 public:
  void Mouse() { mark_ = SIZE_MAX; }
  void Key(const KeyHookEvent& k, RecordingSession& session, LineStore& lines) {
    if (k.message != kWmKeyDown && k.message != kWmSysKeyDown) return;
    if (IsCtrlVk(k.vk) && mark_ == SIZE_MAX) {
      // The pointer's last place stays when the Ctrl+C is taken back.
      session.FlushHeldMove();
      mark_ = lines.Count();
    } else if (!IsCtrlVk(k.vk) && k.vk != 'C') {
      mark_ = SIZE_MAX;
    }
  }
  void TakeBack(LineStore& lines) const {
    if (mark_ != SIZE_MAX) lines.Truncate(mark_);
  }

 private:
  std::size_t mark_ = SIZE_MAX;
};

// How a recording ended.
enum class RecordEnd { StopKey, Signal, ServerLost };

// Hands the X server's input to the recorders until the stop key, a signal
// or the loss of the server.
RecordEnd Record(linux_x::Session& x, RecordingSession& session, LineStore& lines, const std::string& stopHint) {
  CtrlCMark ctrlC;
  std::vector<record::XInputEvent> events;
  int64_t signalAt = -1;
  for (;;) {
    if (x.Wait(signalAt >= 0 ? 30 : 250, events) && signalAt < 0) signalAt = os::MonotonicMicros();
    for (const auto& e : events) {
      std::optional<HookEvent> ev = x.Translate(e);
      if (!ev) continue;
      if (auto* m = std::get_if<MouseHookEvent>(&*ev)) {
        session.OnMouseEvent(*m);
        ctrlC.Mouse();
        continue;
      }
      auto& k = std::get<KeyHookEvent>(*ev);
      ctrlC.Key(k, session, lines);
      const HotKeyCommand command = session.OnKeyEvent(k);
      if (command == HotKeyCommand::Stop || command == HotKeyCommand::EmergencyStop) return RecordEnd::StopKey;
    }
    if (x.Lost()) return RecordEnd::ServerLost;
    // After a signal, events already on their way are let in for a moment.
    if (signalAt >= 0 && os::MonotonicMicros() - signalAt > 100000) {
      ctrlC.TakeBack(lines);
      return RecordEnd::Signal;
    }
    if (Out().StateDue())
      Out().State("正在录制：" + std::to_string(lines.Count()) + " 行  （按 " + stopHint + " 结束）");
  }
}

}  // namespace

int RunRecord(const Options& o, const TSettings& settings, const Services& services) {
  // The recorders, game mode (the pointer's relative motion, XInput 2 raw
  // motion, in place of its positions) and the stop key.
  RecordingOptions recording = RecordingOptionsFor(
      settings, {.gameMode = o.run.gameMode, .noMouse = o.noMouse, .noKeys = o.noKeys, .stopKeyOnly = true});
  if (!recording.mouse && !recording.keys) {
    Out().Say("设置中鼠标和键盘录制都已关闭，没有可录制的内容。");
    return kExitError;
  }
  RecordSave save;
  save.path = o.file;
  if (o.append && !ReadAppendPrefix(o.file, save.prefix)) return kExitError;

  linux_x::Session x;
  const auto onLost = [] {
    std::size_t n = 0;
    if (RecordSave* save = g_recordSave.load(); save && SaveRecording(*save, n))
      std::fprintf(stderr, "tesmuro: 已录制 %zu 行，写入 %s。\n", n, save->path.c_str());
  };
  if (std::string e = x.Open(o.display.value_or(""), {.record = true, .xtest = false},
                             {.pointer = recording.mouse, .rawMotion = recording.gameMode}, onLost,
                             [](const std::string& t) { Out().Say(t); });
      !e.empty()) {
    Out().Say(e);
    return kExitError;
  }
  recording.screen = x.Screen();

  NoControllers controllers;
  LineStore lines;
  RecordingSession session(x.Hooks(), x.Clock(), controllers, lines);
  // The windows the buttons and keys act on, through a connection of the
  // recording's own (the events are handled on this thread).
  const std::shared_ptr<IDesktop> desktop = services.openDesktop(o.display.value_or(""));
  session.UseDesktop(desktop.get());
  save.lines = &lines;
  g_recordSave = &save;
  session.Start(recording);
  const std::string stopHint = "Pause 或 Ctrl+C";
  Out().Say("开始录制到 " + o.file + (recording.gameMode ? "（游戏模式：记录鼠标的相对移动）" : "") + "；按 " +
            stopHint + " 结束。");
  const RecordEnd end = Record(x, session, lines, stopHint);
  session.Stop();
  x.Close();
  g_recordSave = nullptr;
  Out().Clear();

  std::size_t n = 0;
  if (!SaveRecording(save, n)) return kExitError;
  Out().Say("已录制 " + std::to_string(n) + " 行，写入 " + o.file + "。");
  if (end == RecordEnd::ServerLost) {
    Out().Say("录制在 X 服务器断开时结束。");
    return kExitError;
  }
  return kExitOk;
}

}  // namespace tesmuro::linux_cli
