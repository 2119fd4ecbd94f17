// The main window on Windows: builds the controls of its layout, routes its
// messages to the logic in TFrmMain and carries out the logic's requests.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ui/application_win.h"
#include "app/main_view.h"
#include "app/main_window.h"
#include "app/recovery_store_win.h"
#include "app/services_win.h"
#include "app/tray_icon_win.h"
#include "auxiliary/about_box_win.h"
#include "auxiliary/forms_win.h"
#include "editor/script_box_win.h"
#include "record/hook_handover.h"
#include "record/hook_thread_win.h"
#include "setup/setup_dialog_win.h"

namespace tesmuro::win {

class MainWindowWin : public IMainView {
 public:
  // On the program's services (app/main_win.cpp), which it shares with its
  // players.
  MainWindowWin(Application& app, SystemServices services);
  ~MainWindowWin() override;

  // Builds the window and its controls (hidden), then constructs the logic.
  bool Create();
  // Shows the window; runs FormShow.
  void Show();
  HWND Handle() const { return hwnd_; }
  // Creates the mini window (hidden), whose buttons run this window's commands.
  void CreateMirco();
  // Creates the settings dialog (hidden).
  void CreateSoftwareSetup();
  // Creates the About box (hidden).
  void CreateAbout();
  TFrmMain* Logic() { return logic_.get(); }

  // IMainView
  int ShowMessage(std::string_view text, std::string_view caption, unsigned style) override;
  void Beep(unsigned frequency, unsigned durationMs) override;
  void Sleep(unsigned ms) override;
  void ProcessMessages() override;
  void InstallIdleHandler() override;
  void SetCaption(std::string_view text) override;
  void SetStatusText(int panel, std::string_view text) override;
  void SetStatusTip(int panel, std::string_view text) override;
  void SetStepCounter(std::string_view text) override;
  void Close() override;
  void SetMainVisible(bool visible) override;
  bool MainVisible() override;
  void ShowMiniModal() override;
  int MemoLineCount() override;
  void MemoAppendLine(std::string_view gbk) override;
  std::string MemoText(int* unencodable = nullptr) override;
  bool MemoSetText(std::string_view gbk) override;
  std::vector<play::LineSpan> MemoBreakpoints() override;
  play::LineSpan MemoCaretLines(bool selection) override;
  std::optional<std::string> RunFileDialog(FileDialog which) override;
  std::string AnsiToUtf8(std::string_view ansi) override;
  std::string Utf8ToAnsi(std::string_view utf8) override;
  setup::ISetupDialog* SetupDialog() override { return setup_.get(); }
  void ShellRequest(std::string_view verb, std::string_view file, std::string_view parameters) override;
  bool ShellRequestChecked(std::string_view verb, std::string_view file, std::string_view parameters) override;
  std::string ProgramPath() override;
  void ShowAboutModal(std::string_view settingsFolder) override;
  void SetMiniState(std::string_view text) override;
  void SetExitCode(int code) override { exitCode_ = code; }
  void FollowMemoPlayback() override;
  // An unattended run: notices and errors are not shown in boxes (questions
  // still are).
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  void SetMouseCapture() override;
  void ReleaseMouseCapture() override;
  std::optional<CapturedArea> CaptureArea() override;
  std::optional<std::string> AskPictureFile(std::string_view folder, std::string_view proposedName) override;
  std::optional<std::string> AskProgramFile(std::string_view folder, std::string_view proposedName) override;
  void InsertLineAtCaret(std::string_view gbk) override;

 private:
  LRESULT Handle(UINT msg, WPARAM wParam, LPARAM lParam);
  void BuildControls();
  void BuildMenu();
  void BuildAccelerators();
  void Layout();
  void OnCommand(int id);
  // A key of the accelerator table that one of the hot keys or script keys
  // is bound to: the hot key has it, the command does not run.
  bool AcceleratorGivesWay(int id);
  // 精简移动 on the script box, refused while recording or playing
  // (app/thin_moves_command_win.cpp).
  void ThinMoves();
  void OnClose();
  void OnHookEvents();
  // While the window holds the mouse capture (recording), a press on one of
  // the program's own controls, menus or frames reaches that control as if
  // there were no capture. True when the press was handed on.
  bool RouteCapturedPress(UINT msg, WPARAM wParam, LPARAM lParam);
  // Takes the capture back once a handed-on press is over.
  void ReassertCapture();
  // The 250 ms timer: the logic's Tick, and the hook events that a lost
  // wake-up or a failed post left waiting.
  void OnTick();
  // Runs a command; an error it does not handle is shown in the standard box.
  template <class F> void Guard(F&& f) noexcept;

  Application& app_;
  HWND hwnd_ = nullptr;
  HWND status_ = nullptr;
  HWND tabs_ = nullptr;
  HWND sheet_ = nullptr;
  HWND group_ = nullptr;
  HWND memo_ = nullptr;
  HWND tooltip_ = nullptr;
  HWND clear_ = nullptr;
  MircoForm mirco_;
  std::unique_ptr<SetupDialogWin> setup_;
  std::unique_ptr<AboutBoxWin> about_;
  bool miniShown_ = false;
  std::string stepText_;
  std::vector<HWND> glyphButtons_;
  std::vector<HBITMAP> glyphs_;
  HACCEL accelerators_ = nullptr;
  HFONT font_ = nullptr;
  UINT dpi_ = 96;

  WinClock clock_;
  WinJoystickService joysticks_;
  std::unique_ptr<HookThread> hooks_;
  std::unique_ptr<RecoveryStoreWin> recovery_;
  SystemServices services_;
  std::unique_ptr<TFrmMain> logic_;
  std::unique_ptr<TrayIconWin> tray_;  // the notification-area icon while minimised there
  bool captureWanted_ = false;  // recording asked for the mouse capture
  bool quiet_ = false;
  int exitCode_ = 0;
  std::unique_ptr<editor::ScriptBox> memoText_;  // the script box
  std::unique_ptr<HookPump> pump_;  // hands the hook thread's events to the logic
};

}  // namespace tesmuro::win
