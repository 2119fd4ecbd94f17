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
#include "setup/settings.h"
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
  // Makes a new, not yet started player; by default one on the system's
  // input, clock and shutdown services.
  std::function<std::unique_ptr<play::TRunThread>()> newPlayer;
  // Where the recovery journal goes; none keeps no journal.
  IRecoveryStore* recovery = nullptr;
  // The virtual screen now, for the line a recording starts with; none
  // writes no such line.
  std::function<play::ScreenRect()> screen;
};


class TFrmMain : private RecordSink {
  // The program's playback and recording (first: Player, LastEventTime and
  // the others below refer into them).
  play::PlaybackSession playback_;
  RecordingSession recording_;
  // The script: its text box, file and unsaved changes.
  ScriptDocument document_;

 public:
  // Runs the construction steps: recorders, construction values of the
  // settings, the settings file, the hot keys.
  explicit TFrmMain(const MainWindowServices& services);
  ~TFrmMain();
  TFrmMain(const TFrmMain&) = delete;
  TFrmMain& operator=(const TFrmMain&) = delete;

  // The program's command line; the first showing of the window carries it
  // out (opening or playing a file) in place of the start-up auto play.
  void SetCommandLine(const CommandLine& commandLine);

  // Lifecycle.
  void FormCreate();
  void FormShow();
  void FormClose();
  // Closing the window: asks about unsaved changes first. False keeps the
  // window open (the user cancelled, or the save failed).
  bool FormCloseQuery();
  // The Windows session is ending: the same question; false asks the system
  // to wait.
  bool QueryEndSession();
  void AppIdle();
  void UpdateCaption(const std::string& name);

  // Commands.
  void SBNewClick();
  void SBLoadClick();
  void SBSaveClick();
  void MnuSaveAsClick();
  void BitBtnClearClick();
  void SBRecordClick();
  void SBStopClick();
  void SBProcClick();
  // 播放当前动作记录: plays the script box's text as it stands (unsaved
  // changes included) with the same player, loops, speed and stop as Play,
  // through a copy: the file on disk is not touched, and editing the box
  // during the run does not change what it plays.
  void MnuPlayMemoClick();
  // While a run plays the box's own text (by MnuPlayMemoClick, or Play of
  // the box's file as loaded or saved): the byte offset in the box of the
  // line being played. Nothing otherwise.
  std::optional<int64_t> MemoPlayOffset() const;
  void SBPauseClick();
  void MnuExitClick();
  void SBToMicroClick();
  // The mini window is closing: the main window comes back.
  void FrmMircoClose();
  // Shows the main window unless it is visible; showing it runs FormShow.
  void ShowMainWindow();
  void MnuJoyStickClick();
  void MnuJoyStick2Click();
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
  // Game mode as this run of the program has it: the settings', or on by
  // the command line.
  bool GameModeOn() const { return Settings.GameMode || gameModeSwitch_; }

  // The user changed the script text box.
  void MemoChangedByUser();
  // The script text changed since it was last loaded, saved or discarded.
  bool Modified() const { return document_.Modified(); }
  // Writes the recovery journal's pending lines when they are due.
  void OnRecoveryTimer();
  // Recorders or the controller recorder are on.
  bool Recording() const;
  // Shows the program's state in the first panel again, after the panel was
  // used for something else (a load's progress).
  void RefreshPlayState();

  // Input from the hooks, in the order the hooks saw it. A key event may
  // fire a hot key; the caller runs the command it names (RunHotKey) before
  // it hands over the next event.
  void OnMouseEvent(const MouseHookEvent& e);
  HotKeyCommand OnKeyEvent(const KeyHookEvent& e);
  void RunHotKey(HotKeyCommand command);

  // Called every 250 ms: notices a player that has ended (the status bar's
  // emergency stop hint goes) and, while the keyboard hook matters (hot keys
  // on, or something running), has it checked and says when it had to be
  // installed again.
  void Tick();
  // A player that has not finished, or recording.
  bool Running() const;

  // Game-controller capture messages for the first controller.
  void OnJoy1Move(uint32_t lParam);
  void OnJoy1ButtonDown(uint32_t wParam);

  // The recording clock: merges the three last-event times into their
  // latest; the controller recorder's delay line.
  void SyncLastEventTime() override;
  void WriteDelayLine();

  // Settings file.
  std::string SettingsPath() const;
  void LoadSettings(const std::string& path);
  void SaveSettings(const std::string& path);

  // Hands RecordKey, StartKey, StopKey (and the switch, when asked) to the
  // keyboard recorder.
  void PublishHotKeys(bool withSwitch = true);

  // State.
  TSettings Settings;
  std::string& ScriptFileName = document_.FileName;
  uint32_t& LastEventTime = recording_.LastEventTime;
  bool& JoyRecording = recording_.JoyRecording;
  // The script file opened for playback until it is handed to the player.
  std::FILE* PlayFile = nullptr;
  // The current or last player.
  std::unique_ptr<play::TRunThread>& Player = playback_.player;

  TMouseHook& MouseHook() { return recording_.Mouse(); }
  TKeyHook& KeyHook() { return recording_.Keys(); }

  // The last position the first controller reported.
  int32_t& LastJoyX = recording_.LastJoyX;
  int32_t& LastJoyY = recording_.LastJoyY;

 private:
  // RecordSink
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
  // The exit code of the current or last run: played to the end, stopped by
  // the user, or ended by an error.
  int RunOutcome() const;
  void ClosePlayFile();
  // Opens `path` for playback; false (and the message) when it can't.
  bool OpenPlayFile(const std::string& path);
  // What a run is asked besides the settings: this run's switches.
  RunRequest Request(bool withShutdown) const;
  // Play, the box's own play and the command line's run stop recording: the
  // recorders are off (the keyboard hook stays for the hot keys).
  void StopRecorders();
  // The one way a run starts: PlayFile goes to a new player with the run's
  // options; `playingMemo`: the run plays the box's own text.
  void BeginRun(const RunRequest& request, bool playingMemo);
  void StartupAutoPlay();

  // Shows, in the status bar, what the running player reports: a screen
  // that differs from the recorded one, input dropped on its way to an
  // elevated window.
  void ShowPlayerNotices();

  IMainView& view_;
  IClock& clock_;
  std::function<play::ScreenRect()> screen_;
  bool gameModeSwitch_ = false;  // /game
  bool scaleSwitch_ = false;     // /scale
  bool blockedShown_ = false;    // the status bar says the input is dropped
  IJoystickService& joysticks_;
  std::string exeDirectory_;
  bool emergencyHintShown_ = false;
  std::optional<CommandLine> commandLine_;
  bool exitWhenDone_ = false;   // /exit: the program ends with its run
  bool exiting_ = false;
  std::string playStateShown_;  // the first panel's text
  bool playingMemo_ = false;      // the player plays the box's own text
};

}  // namespace tesmuro
