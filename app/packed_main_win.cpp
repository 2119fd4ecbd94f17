#include "app/packed_main_win.h"

#include <windows.h>

#include <cctype>
#include <memory>

#include "app/services_win.h"
#include "pack/export.h"
#include "pack/packed_runner.h"
#include "play/run_thread.h"
#include "record/hook_thread_win.h"
#include "setup/settings_places.h"
#include "setup/settings_places_win.h"
#include "ui/message_box.h"
#include "ui/win_util_win.h"
#include "ui/window_proc_win.h"
#include "util/file_io.h"
#include "util/path.h"

namespace tesmuro::win {
namespace {

constexpr wchar_t kNoticeClass[] = L"TesmuroPackedNotice";
constexpr UINT kHookEventsMsg = WM_APP + 10;
constexpr UINT_PTR kLookTimer = 1;
constexpr UINT kLookMs = 100;
constexpr int kStopId = 100;
// The notice's client area at 96 DPI, and its distance from the work area's corner.
constexpr int kWidth = 380, kHeight = 92, kMargin = 12;

void Box(const std::string& text, UINT icon) {
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(text::kAppTitle).c_str(), MB_OK | MB_TOPMOST | icon);
}

bool IsSwitchNamed(const std::string& arg, std::initializer_list<const char*> names) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
  std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

std::string AboutText(const pack::Payload& p) {
  std::string program = ExePath();
  program = program.substr(program.find_last_of("\\/") + 1);
  return "这个程序播放动作记录“" + p.scriptName + "”，它带有：\n" + pack::DescribeFiles(p) + "\n播放方式：\n" +
         pack::DescribeOptions(p.run) + "\n用法：\n  " + program + "\t播放\n  " + program +
         " /extract 文件夹\t把动作记录和它用到的文件解出到文件夹，不播放\n  " + program + " /?\t显示本说明";
}

// The small topmost notice near the notification area while the run plays:
// what plays, its progress and a 停止 button. It never takes the keyboard
// focus from the window the script types into.
class Notice {
 public:
  explicit Notice(const pack::Payload& payload) : payload_(payload) {}
  ~Notice() {
    runner_.reset();  // the run ends and the hook goes before the hook thread
    hooks_.reset();
    if (font_) DeleteObject(font_);
  }

  // Plays; the exit code.
  int Run() {
    RegisterFormClass(kNoticeClass, WindowProcOf<Notice, &Notice::Handle, &Notice::window_>, true);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
    const UINT dpi = DpiOf(nullptr);
    RECT r{0, 0, Scale(kWidth, dpi), Scale(kHeight, dpi)};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (!CreateWindowExW(exStyle, kNoticeClass, Wide(text::kAppTitle).c_str(), style,
                         work.right - w - Scale(kMargin, dpi), work.bottom - h - Scale(kMargin, dpi), w, h, nullptr,
                         nullptr, GetModuleHandleW(nullptr), this)) {
      Box("无法创建窗口", MB_ICONERROR);
      return play::kExitError;
    }
    font_ = MakeFont("Microsoft YaHei UI", 15, dpi);
    auto control = [&](const wchar_t* cls, const std::string& text, DWORD st, int x, int y, int cw, int ch, int id) {
      HWND c = CreateWindowExW(0, cls, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | st, Scale(x, dpi), Scale(y, dpi),
                               Scale(cw, dpi), Scale(ch, dpi), window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
      SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
      return c;
    };
    hooks_ = std::make_unique<HookThread>(window_, kHookEventsMsg);
    const SystemServices services = RealSystemServices();
    runner_ = std::make_unique<pack::PackedRunner>(
        payload_, [player = services.player] { return std::make_unique<play::TRunThread>(player); }, *hooks_,
        clock_);
    control(L"STATIC", runner_->Title(), SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS, 10, 8, kWidth - 20, 22, 0);
    progress_ = control(L"STATIC", "", SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS, 10, 34, kWidth - 20, 22, 0);
    control(L"BUTTON", "停止", BS_PUSHBUTTON, kWidth - 100, 58, 90, 28, kStopId);
    // The stop keys are heard from the moment the notice shows.
    if (!runner_->Start(GetTickCount())) {
      Box("无法准备要播放的动作记录", MB_ICONERROR);
      DestroyWindow(window_);
      return play::kExitError;
    }
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    SetTimer(window_, kLookTimer, kLookMs, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return exitCode_;
  }

 private:
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
      case kHookEventsMsg: {
        hooks_->TakeEvents(events_);
        for (const HookEvent& e : events_)
          if (const auto* k = std::get_if<KeyHookEvent>(&e)) runner_->OnKeyEvent(*k);
        return 0;
      }
      case WM_TIMER:
        if (wParam == kLookTimer) Look();
        return 0;
      case WM_COMMAND:
        if (LOWORD(wParam) == kStopId) runner_->Stop();
        return 0;
      case WM_CLOSE:
        runner_->Stop();  // the window goes once the run has ended
        return 0;
      case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
      case WM_DESTROY:
        PostQuitMessage(exitCode_);
        return 0;
      default:
        return DefWindowProcW(window_, msg, wParam, lParam);
    }
  }

  void Look() {
    const std::string progress = runner_->ProgressText(GetTickCount());
    if (progress != shown_) SetWindowTextW(progress_, Wide(shown_ = progress).c_str());
    if (!runner_->Ended()) return;
    KillTimer(window_, kLookTimer);
    exitCode_ = runner_->ExitCode();
    // A run that stopped on its script says why; played or stopped by the
    // user needs no word.
    if (exitCode_ != play::kExitPlayed && exitCode_ != play::kExitStopped && !runner_->EndText().empty())
      Box(runner_->EndText() + "。", MB_ICONERROR);
    DestroyWindow(window_);
  }

  const pack::Payload& payload_;
  HWND window_ = nullptr;
  HWND progress_ = nullptr;
  HFONT font_ = nullptr;
  std::string shown_;
  WinClock clock_;
  std::unique_ptr<HookThread> hooks_;
  std::unique_ptr<pack::PackedRunner> runner_;
  std::vector<HookEvent> events_;
  int exitCode_ = play::kExitError;
};

}  // namespace

int RunPackedProgram(const pack::Payload& payload, const std::vector<std::string>& args) {
  if (args.empty()) return Notice(payload).Run();
  if (IsSwitchNamed(args[0], {"?", "h", "help"})) {
    Box(AboutText(payload), MB_ICONINFORMATION);
    return play::kExitPlayed;
  }
  if (IsSwitchNamed(args[0], {"extract"}) && args.size() == 2) {
    const std::string error = pack::ExtractPayload(payload, args[1]);
    if (!error.empty()) {
      Box("无法解出：" + error + "。", MB_ICONERROR);
      return play::kExitError;
    }
    Box("已把“" + payload.scriptName + "”和它用到的 " + std::to_string(payload.files.size()) + " 个文件解出到：" +
            args[1],
        MB_ICONINFORMATION);
    return play::kExitPlayed;
  }
  Box("无法识别的命令行：" + args[0] + "\n\n" + AboutText(payload), MB_ICONERROR);
  return play::kExitError;
}

int RefuseDamagedProgram(const std::string& problem) {
  Box("这个程序携带的动作记录已损坏（" + problem + "），不能播放。\n请向发送者重新索取这个程序。", MB_ICONERROR);
  return play::kExitError;
}

int ExportFromCommandLine(const CommandLine& c) {
  TSettings settings = ConstructionSettings();
  WinSettingsPlaces places;
  std::string bytes;
  if (ReadWholeFile(JoinPath(ChooseSettingsFolder(ExeDirectory(), places), kSettingsFileName), bytes))
    ParseSettings(bytes, settings);
  const pack::ExportPlan plan = pack::PlanExport(c.file, pack::PackedRunFor(settings, c.run));
  std::string error = plan.error;
  if (error.empty()) error = pack::WriteExportedProgram(ExePath(), plan.payload, c.output, c.file);
  if (error.empty()) return play::kExitPlayed;
  Box("无法导出：" + error + "。", MB_ICONERROR);
  return play::kExitError;
}

}  // namespace tesmuro::win
