// Test doubles for the main window's services. Every call that the user
// would notice (boxes, beeps, dialogs, hooks) is recorded in order in `log`.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_view.h"
#include "os/platform.h"
#include "app/recovery.h"
#include "play/player_fakes.h"
#include "play/run_thread.h"

namespace tesmuro::test {

// Makes players for a main window that a test does not play in: their input
// is recorded by a sink nobody reads and they can shut nothing down.
inline std::function<std::unique_ptr<play::TRunThread>()> IdlePlayers() {
  auto sink = std::make_shared<play::test::RecordingSink>();
  auto shutdown = std::make_shared<play::test::FakeShutdown>();
  shutdown->openOk = false;
  return [sink, shutdown] {
    return std::make_unique<play::TRunThread>(sink, shutdown, std::make_unique<play::SteadyPlayClock>());
  };
}

struct CallLog {
  std::vector<std::string> calls;
  void Add(std::string s) { calls.push_back(std::move(s)); }
  int Count(const std::string& s) const {
    int n = 0;
    for (auto& c : calls) n += c == s;
    return n;
  }
};

class FakeClock : public IClock {
 public:
  uint32_t now = 1000;
  uint32_t TickCount() override { return now; }
};

class FakeHooks : public IHookHost {
 public:
  explicit FakeHooks(CallLog& log) : log_(log) {}
  bool mouseInstalled = false, keyInstalled = false;
  bool InstallMouseHook() override { log_.Add("hook:mouse:install"); return mouseInstalled = true; }
  void UninstallMouseHook() override { log_.Add("hook:mouse:uninstall"); mouseInstalled = false; }
  bool InstallKeyboardHook() override { log_.Add("hook:key:install"); return keyInstalled = true; }
  void UninstallKeyboardHook() override { log_.Add("hook:key:uninstall"); keyInstalled = false; }
  // Answers of CheckKeyboardHook: true when the hook had been lost.
  bool keyHookLost = false;
  int keyChecks = 0;
  bool CheckKeyboardHook() override {
    ++keyChecks;
    const bool lost = keyHookLost;
    keyHookLost = false;
    return lost;
  }
  // Raw input for game mode: 1 while taken (not logged).
  int rawInstalled = 0;
  bool InstallRawMotion() override { return rawInstalled = 1; }
  void UninstallRawMotion() override { rawInstalled = 0; }
 private:
  CallLog& log_;
};

class FakeJoysticks : public IJoystickService {
 public:
  explicit FakeJoysticks(CallLog& log) : log_(log) {}
  unsigned numDevs = 0;
  std::map<unsigned, unsigned> posResults;  // id -> result; ids not listed answer 165
  JoyCaps caps;
  unsigned capsResult = 0;
  unsigned SetCapture(unsigned id, unsigned period, bool changed) override {
    log_.Add("joy:capture:" + std::to_string(id) + ":" + std::to_string(period) + ":" +
             (changed ? "1" : "0"));
    return 0;
  }
  unsigned ReleaseCapture(unsigned id) override {
    log_.Add("joy:release:" + std::to_string(id));
    return 0;
  }
  unsigned GetNumDevs() override { return numDevs; }
  unsigned GetPosEx(unsigned id) override {
    auto it = posResults.find(id);
    return it == posResults.end() ? 165u : it->second;
  }
  unsigned GetDevCaps(unsigned, JoyCaps& c) override {
    c = caps;
    return capsResult;
  }
 private:
  CallLog& log_;
};

// The recovery file of this run, and what an earlier run left behind.
class FakeRecoveryStore : public IRecoveryStore {
 public:
  std::optional<std::string> leftOver;
  bool exists = false;
  std::string file;  // this run's file as it is on disk
  int writes = 0;    // writes through to disk
  bool failWrites = false;
  std::optional<std::string> TakeLeftOver() override {
    auto r = leftOver;
    leftOver.reset();
    return r;
  }
  bool Start(std::string_view bytes) override {
    if (failWrites) return false;
    file = bytes;
    exists = true;
    ++writes;
    return true;
  }
  bool Append(std::string_view bytes) override {
    if (failWrites) return false;
    file += bytes;
    ++writes;
    return true;
  }
  void Remove() override {
    file.clear();
    exists = false;
  }
};

class FakeView : public IMainView {
 public:
  explicit FakeView(CallLog& log) : log_(log) {}

  // The memo as the control holds it: GBK text with CR LF line ends.
  std::string memo;
  std::string caption = "Tesmuro";
  std::string stepCounter = "录制了0步";
  std::map<int, std::string> status;
  std::map<int, std::string> tips;  // the panels' tooltips
  std::deque<int> boxAnswers;                        // answers to give, OK when empty
  std::deque<std::optional<std::string>> dialogAnswers;  // nothing when empty
  struct Box { std::string text, caption; unsigned style; };
  std::vector<Box> boxes;

  int ShowMessage(std::string_view text, std::string_view cap, unsigned style) override {
    boxes.push_back({std::string(text), std::string(cap), style});
    log_.Add("box:" + std::string(text));
    if (boxAnswers.empty()) return kIdOk;
    int a = boxAnswers.front();
    boxAnswers.pop_front();
    return a;
  }
  void Beep(unsigned f, unsigned ms) override {
    log_.Add("beep:" + std::to_string(f) + ":" + std::to_string(ms));
  }
  void Sleep(unsigned ms) override { log_.Add("sleep:" + std::to_string(ms)); }
  void ProcessMessages() override { log_.Add("process-messages"); }
  void InstallIdleHandler() override { log_.Add("idle-handler"); }
  void SetCaption(std::string_view t) override { caption = t; }
  void SetStatusText(int panel, std::string_view t) override { status[panel] = tips[panel] = t; }
  void SetStatusTip(int panel, std::string_view t) override { tips[panel] = t; }
  void SetStepCounter(std::string_view t) override { stepCounter = t; }
  void Close() override { log_.Add("close"); }
  bool mainVisible = true;
  std::function<void()> whileMiniShown;  // what the user does in the mini window
  void SetMainVisible(bool v) override {
    mainVisible = v;
    log_.Add(v ? "main:show" : "main:hide");
  }
  bool MainVisible() override { return mainVisible; }
  void ShowMiniModal() override {
    log_.Add("mini:show");
    if (whileMiniShown) whileMiniShown();
    log_.Add("mini:closed");
  }

  int MemoLineCount() override {
    int n = 0;
    size_t start = 0;
    while (start < memo.size()) {
      size_t e = memo.find("\r\n", start);
      ++n;
      if (e == std::string::npos) break;
      start = e + 2;
    }
    return n;
  }
  void MemoAppendLine(std::string_view gbk) override {
    if (!memo.empty() && memo.size() >= 2 && memo.compare(memo.size() - 2, 2, "\r\n") != 0) memo += "\r\n";
    memo += gbk;
    memo += "\r\n";
  }
  int unencodable = 0;           // characters of the text that GBK cannot hold
  bool memoRefusesText = false;  // the control cannot take a new text
  std::string MemoText(int* lost = nullptr) override {
    if (lost) *lost = unencodable;
    return memo;
  }
  bool MemoSetText(std::string_view gbk) override {
    if (memoRefusesText) return false;
    memo = gbk;
    return true;
  }
  void FollowMemoPlayback() override { log_.Add("follow"); }
  std::vector<play::LineSpan> breakpoints;  // the box's breakpoints
  play::LineSpan caretLines, selectedLines;  // where the caret and the selection are
  std::vector<play::LineSpan> MemoBreakpoints() override { return breakpoints; }
  play::LineSpan MemoCaretLines(bool selection) override { return selection ? selectedLines : caretLines; }

  std::optional<std::string> RunFileDialog(FileDialog which) override {
    log_.Add("dialog:" + std::to_string(static_cast<int>(which)));
    if (dialogAnswers.empty()) return std::nullopt;
    auto a = dialogAnswers.front();
    dialogAnswers.pop_front();
    return a;
  }
  struct ShellCall { std::string verb, file, parameters; };
  std::vector<ShellCall> shellCalls;
  void ShellRequest(std::string_view verb, std::string_view file, std::string_view parameters) override {
    shellCalls.push_back({std::string(verb), std::string(file), std::string(parameters)});
    log_.Add("shell:" + std::string(verb) + ":" + std::string(file));
  }
  bool shellRefuses = false;  // the user says no to the system's prompt
  bool ShellRequestChecked(std::string_view verb, std::string_view file, std::string_view parameters) override {
    ShellRequest(verb, file, parameters);
    return !shellRefuses;
  }
  // The Save As dialog for an exported program: what it was opened with
  // ("FOLDER|NAME"), and the answers to give (nothing when empty).
  std::vector<std::string> programAsked;
  std::deque<std::string> programAnswers;
  std::optional<std::string> AskProgramFile(std::string_view folder, std::string_view name) override {
    programAsked.push_back(std::string(folder) + "|" + std::string(name));
    if (programAnswers.empty()) return std::nullopt;
    auto a = programAnswers.front();
    programAnswers.pop_front();
    return a;
  }
  std::string programPath = "C:\\Tesmuro\\Tesmuro.exe";
  std::string ProgramPath() override { return programPath; }
  std::string aboutFolder;  // the folder the About box named
  void ShowAboutModal(std::string_view folder) override {
    aboutFolder = folder;
    log_.Add("about:show");
  }
  std::string miniState;
  int exitCode = -1;
  void SetMiniState(std::string_view t) override { miniState = t; }
  void SetExitCode(int code) override {
    exitCode = code;
    log_.Add("exit-code:" + std::to_string(code));
  }
  void SetMouseCapture() override { log_.Add("capture-mouse"); }
  void ReleaseMouseCapture() override { log_.Add("release-mouse"); }

 private:
  CallLog& log_;
};

}  // namespace tesmuro::test
