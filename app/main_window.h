// The logic of the main window: its state, its lifecycle and its commands.
// The window itself (controls, dialogs, message loop) is reached through
// IMainView, so all of this runs the same under tests and in the program.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/main_view.h"
#include "os/platform.h"
#include "app/recovery.h"
#include "app/script_document.h"
#include "app/script_keys.h"
#include "setup/settings.h"
#include "setup/settings_places.h"
#include "play/playback_session.h"
#include "play/run_thread.h"
#include "record/hook_events.h"
#include "record/key_hook.h"
#include "record/recording_session.h"
#include "record/mouse_hook.h"
#include "record/record_sink.h"

namespace tesmuro {

// The services the main window works with, owned by the caller.
struct MainWindowServices {
  IMainView& view;
  IClock& clock;
  IHookHost& hooks;
  IJoystickService& joysticks;
  std::string exeDirectory;  // UTF-8, with or without a trailing separator
  // Makes a new, not yet started player, on the services the program's main
  // chose (tests: on fakes). Required: without it the window cannot be made.
  std::function<std::unique_ptr<play::TRunThread>()> newPlayer;
  // Makes the empty, self-deleting file that a copy of the box's text is
  // played from; by default the system's temporary file.
  std::function<std::FILE*()> newScratchFile;
  // Where the recovery journal goes; none keeps no journal.
  IRecoveryStore* recovery = nullptr;
  // The virtual screen now, for the line a recording starts with; none
  // writes no such line.
  std::function<ScreenRect()> screen;
  // The desktop whose windows a recording names; none: no window lines.
  IDesktop* desktop = nullptr;
  // Where the settings file may live (setup/settings_places.h); none: beside
  // the program, and a file that cannot be opened counts as missing.
  ISettingsPlaces* settingsPlaces = nullptr;
};


class TFrmMain : private RecordSink {
  // The program's playback and recording.
  play::PlaybackSession playback_;
  RecordingSession recording_;
  // The script: its text box, file and unsaved changes.
  ScriptDocument document_;

 public:
  // Runs the construction steps: recorders, construction values of the
  // settings, the settings file (written with them when there is none yet),
  // the hot keys.
  explicit TFrmMain(const MainWindowServices& services);
  ~TFrmMain();
  TFrmMain(const TFrmMain&) = delete;
  TFrmMain& operator=(const TFrmMain&) = delete;

  // The program's command line; the first showing of the window carries it
  // out (opening or playing a file) in place of the start-up auto play.
  void SetCommandLine(const CommandLine& commandLine);

  // Lifecycle.
  void FormShow();
  void FormClose();
  // Closing the window, or the Windows session ending: asks about unsaved
  // changes first. False keeps the window open, or asks the system to wait
  // (the user cancelled, or the save failed).
  bool FormCloseQuery();
  void AppIdle();
  // Called every 250 ms: notices a player that has ended (the status bar's
  // emergency stop hint goes) and, while the keyboard hook matters (hot keys
  // on, or something running), has it checked and says when it had to be
  // installed again.
  void Tick();

  // Commands.
  void SBNewClick();
  void SBLoadClick();
  void SBSaveClick();
  void MnuSaveAsClick();
  void BitBtnClearClick();
  void SBRecordClick();
  void SBStopClick();
  // The notification icon's menu opens (after the hooks' events so far are
  // taken), and its 停止 is chosen: a recording stops without the right click
  // that opened the menu and the click in it, as if the menu were part of
  // this program's window.
  void TrayMenuOpens();
  void TrayStopClick();
  void SBProcClick();
  // 播放当前动作记录: plays the script box's text as it stands (unsaved
  // changes included) with the same player, loops, speed and stop as Play,
  // through a copy: the file on disk is not touched, and editing the box
  // during the run does not change what it plays.
  void MnuPlayMemoClick();
  // F5 and its menu item: a run the box shows that is paused goes on;
  // otherwise as MnuPlayMemoClick.
  void MnuPlayOrContinueClick();
  // The box's text from the caret's line on, or only the lines the
  // selection touches, with the settings' options; the lines before the
  // start set the window and screen as if they had been played.
  void MnuPlayFromHereClick(bool selection);
  // F10: a paused run the box shows plays its next line and pauses again.
  void MnuStepLineClick();
  // F1 on a word of the box: the help file at that word's page.
  void HelpOnWord(std::string_view page);
  // Whether one of the three hot keys (while switched on) or a script key
  // is bound to `shortcut` (util/shortcut.h): the program's own keys for
  // the script box then give way to it.
  bool HotKeyTakes(uint16_t shortcut);
  // 截取图像: the window steps aside while the user drags a rectangle over
  // the frozen screen, the picture is saved as a PNG beside the script (a
  // script without a file is saved first) and a 等待图像 line for it, with
  // that rectangle as its area, goes in at the caret.
  void MnuCaptureImageClick();
  // 导出为程序: the script's file (saved first), the files it reaches and
  // the options a run would have now, shown for the user to confirm, then
  // written as a program where the user says (the dialog opens in the
  // folder of the last export).
  void MnuExportClick();
  void SBPauseClick();
  void SBToMicroClick();
  // Shows the main window unless it is visible (also when the mini window
  // closes); showing it runs FormShow.
  void ShowMainWindow();
  // The report on the first or second game controller.
  void MnuJoyStickClick(int controller);
  // The settings dialog: re-reads the settings file, shows the dialog and,
  // when it is confirmed, applies and saves it.
  void MnuSoftwareSetupClick();
  // The Help menu: the help file beside the program, the author's home
  // page, the About box.
  void MnuContentClick();
  void MnuVHostClick();
  void MnuAboutClick();
  // Restarts the program as administrator with the same script (after the
  // unsaved-changes question), so that playback reaches windows that run
  // as administrator.
  void MnuRunAsAdminClick();

  // A key from the hooks, in the order the hooks saw it, after the mouse
  // events before it (which go to Recorder() directly). It may fire a hot
  // key; the caller runs the command it names (RunHotKey) before it hands
  // over the next event.
  HotKeyCommand OnKeyEvent(const KeyHookEvent& e);
  void RunHotKey(HotKeyCommand command);

  // What a command of the script box did (精简移动: "删除了 N 行，剩 M 行"), in
  // the wide last panel until the text changes again.
  void ShowEditResult(std::string_view utf8);
  // The user changed the script's text: typed, undid, or a command of the
  // box changed it. A result shown for an earlier change goes.
  void TextChangedByUser();

  // The parts the window is made of: the script (its box, file, unsaved
  // changes and journal), the recorders and the playback.
  ScriptDocument& Document() { return document_; }
  RecordingSession& Recorder() { return recording_; }
  const play::PlaybackSession& Playback() const { return playback_; }

  // The settings as this window holds them.
  TSettings Settings;
  // The folder the settings file is in (UTF-8).

 private:
  // Recorders or the controller recorder are on.
  bool Recording() const;
  // A player that has not finished, or recording.
  bool Running() const;
  void UpdateCaption(const std::string& name);

  // Settings file. LoadSettings reads it into Settings; a file that is not
  // there leaves them as they are and gives false, one that is there and
  // cannot be read is said in a box. A quiet save says nothing when it fails.
  std::string SettingsPath() const;
  bool LoadSettings(const std::string& path);
  void SaveSettings(const std::string& path, bool quiet = false);

  // Hands RecordKey, StartKey, StopKey (and the switch, when asked) to the
  // keyboard recorder.
  void PublishHotKeys(bool withSwitch = true);
  // Publishes the hot keys (without the switch) and installs the keyboard hook.
  void ServeHotKeys();

  // RecordSink: the recording clock merges the three last-event times into
  // their latest; lines go to the script, texts to the status bar.
  void SyncLastEventTime() override;
  void AppendLine(std::string_view gbk) override;
  void SetStatusText(int panel, std::string_view utf8) override;
  // Ends the current player, if any, and waits for its thread (promptly:
  // a stop ends any delay at once).
  void StopPlayer();
  // The fourth status bar panel names the emergency stop key while a player
  // runs, and shows the version otherwise.
  void ShowEmergencyStopHint(bool on);
  // Shows what the program is doing (recording, playing with its progress,
  // paused, ready) in the first panel and the mini window.
  void UpdatePlayState();
  // Carries out the command line; true when the start-up auto play and the
  // recovery offer give way to it.
  bool RunCommandLine();
  // An unattended run (/exit) is over: the program ends with `code`.
  void ExitWith(int code);
  // The exit code of the current or last run (its verdict's).
  int RunExitCode() const { return playback_.Verdict().exitCode; }
  // What a run is asked besides the settings: this run's switches.
  RunRequest Request(bool withShutdown) const;
  // The one way a run starts: `source` played with the settings' options
  // and what `request` asks in their place. False (and the message, or the
  // exit code of an unattended run) when the script cannot be opened.
  bool BeginRun(const play::ScriptSource& source, const RunRequest& request,
                std::optional<play::LineSpan> part = std::nullopt);
  void StartupAutoPlay();
  // The script hot keys: their file beside the settings file; the row the
  // last key fired plays, when nothing plays or records.
  std::string ScriptKeysPath() const;
  void LoadScriptKeys();
  void PlayScriptKey();

  // Shows, in the status bar, what the running player reports: a screen
  // that differs from the recorded one, input dropped on its way to an
  // elevated window.
  void ShowPlayerNotices();
  // The wait the run is in, or what the last panel held before it.
  void ShowWait(const std::optional<play::WaitProgress>& wait);
  // Why the run stopped on a line of its script, in the wide last panel.
  void ShowStopReason();

  IMainView& view_;
  IClock& clock_;
  std::function<ScreenRect()> screen_;
  RunRequest switches_;          // the command line's /game and /scale
  bool blockedShown_ = false;    // the status bar says the input is dropped
  std::string seedShown_;        // the run's seed, after its first random draw (last panel)
  IJoystickService& joysticks_;
  std::string exeDirectory_;
  ISettingsPlaces* places_;
  std::string settingsFolder_;
  ScriptKeys scriptKeys_;
  UserKeyPresses userKeys_;      // the user's keys, for a run that waits for one (等待按键)
  bool emergencyHintShown_ = false;
  std::optional<CommandLine> commandLine_;
  bool exitWhenDone_ = false;   // /exit: the program ends with its run
  bool exiting_ = false;
  std::string exportFolder_;     // where the last program was exported to
  std::optional<int64_t> trayMenuMark_;  // the recording's lines before the click that opened the menu
  std::string playStateShown_;  // the first panel's text
  std::string lastPanelShown_;  // the wide last panel's text
  // A wait in progress stands in the last panel over `underWait_`; the text
  // changes at most every kWaitShownEveryMs.
  std::string waitShown_;
  std::string underWait_;
  uint32_t waitShownAt_ = 0;
  // An edit's result stands in the last panel over `underEditResult_`.
  bool editResultShown_ = false;
  bool pauseShown_ = false;  // the last panel says where the run paused on its own
  std::string underEditResult_;
};

}  // namespace tesmuro
