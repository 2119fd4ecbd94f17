#include "app/main_window.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "app/picture_capture.h"
#include "app/texts.h"
#include "auxiliary/help_commands.h"
#include "auxiliary/joystick_report.h"
#include "forms/main_form.h"
#include "image/png_io.h"
#include "pack/export.h"
#include "play/run_texts.h"
#include "setup/software_setup.h"
#include "util/file_io.h"
#include "util/path.h"
#include "util/text.h"

namespace tesmuro {
namespace {

// A title or file name in the last panel is cut to this many columns, so
// that the line number and the reason around it show at the window's
// default width (the panel's tooltip has the whole text).
constexpr size_t kTitleColumns = 24;
// A wait in progress changes the last panel at most this often.
constexpr uint32_t kWaitShownEveryMs = 250;

}  // namespace

TFrmMain::TFrmMain(const MainWindowServices& s)
    : playback_(s.newPlayer, s.newScratchFile),
      recording_(s.hooks, s.clock, s.joysticks, *this),
      document_({s.view, s.view, s.clock, s.recovery, [this] { return Recording(); },
                 [this](const std::string& name) { UpdateCaption(name); }}),
      view_(s.view),
      clock_(s.clock),
      screen_(s.screen),
      joysticks_(s.joysticks),
      exeDirectory_(s.exeDirectory),
      places_(s.settingsPlaces),
      settingsFolder_(places_ ? ChooseSettingsFolder(exeDirectory_, *places_) : exeDirectory_) {
  recording_.UseDesktop(s.desktop);
  lastPanelShown_ = forms::main::kPanels[3].text;
  Settings = ConstructionSettings();
  // The first start: the defaults, kept for the next one. Where they cannot
  // be written the settings dialog says so when it saves.
  if (!LoadSettings(SettingsPath())) SaveSettings(SettingsPath(), /*quiet=*/true);
  LoadScriptKeys();
  PublishHotKeys();
  // The window exists: the idle handler keeps the step counter, and the
  // recording clock starts.
  view_.InstallIdleHandler();
  recording_.LastEventTime = clock_.TickCount();
}

TFrmMain::~TFrmMain() { playback_.Stop(); }

std::string TFrmMain::SettingsPath() const { return JoinPath(settingsFolder_, kSettingsFileName); }

bool TFrmMain::LoadSettings(const std::string& path) {
  UniqueFile f(OpenFile(path, "rb"));
  if (!f) {
    if (!places_ || !places_->Exists(path)) return false;
    view_.ShowMessage(text::kCannotOpenInputSettings, text::kNotice, kMbOk | kMbIconError);
    return true;
  }
  ParseSettings(f.get(), Settings);
  return true;
}

std::string TFrmMain::ScriptKeysPath() const { return JoinPath(settingsFolder_, setup::kScriptHotKeysFileName); }

void TFrmMain::LoadScriptKeys() {
  const std::string problems = scriptKeys_.Load(ScriptKeysPath());
  if (!problems.empty()) view_.ShowMessage(problems, text::kNotice, kMbOk | kMbIconWarning);
}

void TFrmMain::SaveSettings(const std::string& path, bool quiet) {
  if (!WriteFileAtomically(path, FormatSettings(Settings)) && !quiet)
    view_.ShowMessage(text::kCannotOpenOutputSettings, text::kNotice, kMbOk | kMbIconError);
}

void TFrmMain::PublishHotKeys(bool withSwitch) {
  recording_.PublishHotKeys(RecordingOptionsFor(Settings).hotKeys, withSwitch);
}

void TFrmMain::ServeHotKeys() {
  PublishHotKeys(/*withSwitch=*/false);
  recording_.Keys().Install();
}

void TFrmMain::FormShow() {
  view_.ProcessMessages();
  ServeHotKeys();
  if (RunCommandLine()) return;
  StartupAutoPlay();
  document_.OfferRecovery();
}

void TFrmMain::SetCommandLine(const CommandLine& commandLine) {
  commandLine_ = commandLine;
  exitWhenDone_ = commandLine.action == CommandLine::Action::Play && commandLine.exitWhenDone;
  switches_ = RunSwitchesOf(commandLine.run);
}

bool TFrmMain::RunCommandLine() {
  if (!commandLine_) return false;
  const CommandLine c = *commandLine_;
  commandLine_.reset();  // carried out once, by the first showing
  if (!c.error.empty()) {
    // An unattended run ends at once; a user sees what is wrong and goes on.
    if (c.exitWhenDone) {
      ExitWith(kExitError);
      return true;
    }
    view_.ShowMessage(c.error, text::kNotice, kMbOk | kMbIconError);
    return false;
  }
  if (c.action == CommandLine::Action::Open) {
    document_.Load(c.file);
    return false;
  }
  if (c.action != CommandLine::Action::Play) return false;
  // A user's /play shows the script in the box, with the line being played
  // marked, as its own Play does; an unattended run has no one to show it to.
  bool shownInBox = false;
  if (!c.exitWhenDone) {
    try {
      document_.Load(c.file, /*toShowRun=*/true);
    } catch (const std::runtime_error&) {
      // Not readable: the run's start says so.
    }
    shownInBox = document_.FileName == c.file && document_.MatchesFile();
  }
  recording_.Pause();
  RunRequest request = Request(/*withShutdown=*/true);
  if (c.run.speedPercent) request.speedPercent = c.run.speedPercent;
  request.loops = c.run.loops;
  request.forSeconds = c.run.forSeconds;
  request.seed = c.run.seed;
  if (BeginRun(play::ScriptSource::File(c.file, shownInBox), request)) UpdateCaption(c.file);
  return true;
}

void TFrmMain::ExitWith(int code) {
  if (exiting_) return;
  exiting_ = true;
  view_.SetExitCode(code);
  view_.Close();
}

void TFrmMain::FormClose() {
  recording_.Close();
  // Closing the window ends an unattended run as the user's stop.
  if (exitWhenDone_ && !exiting_) view_.SetExitCode(RunExitCode());
  StopPlayer();
  view_.Sleep(100);
  document_.Closing();
}

bool TFrmMain::FormCloseQuery() { return document_.ConfirmDiscard(); }

bool TFrmMain::Recording() const { return recording_.Recording(); }

void TFrmMain::AppIdle() {
  std::string label = text::kStepCounterPrefix;
  label += ToDec(view_.MemoLineCount());
  label += text::kStepCounterSuffix;
  view_.SetStepCounter(label);
}

void TFrmMain::UpdateCaption(const std::string& name) {
  view_.SetCaption(std::string(text::kCaptionPrefix) + name);
}

void TFrmMain::MnuSoftwareSetupClick() {
  setup::ISetupDialog* dialog = view_.SetupDialog();
  // A second opening while the dialog is up would refill it under the user.
  if (!dialog || dialog->Showing()) return;
  const std::string path = SettingsPath();
  LoadSettings(path);
  LoadScriptKeys();
  std::vector<setup::ScriptHotKey> scriptKeys = scriptKeys_.Rows();
  if (!setup::EditSettings(*dialog, Settings, scriptKeys, [&](std::string_view s) { return view_.AnsiToUtf8(s); },
                           [&](std::string_view s) { return view_.Utf8ToAnsi(s); }))
    return;
  SaveSettings(path);
  if (!scriptKeys_.Save(ScriptKeysPath(), std::move(scriptKeys)))
    view_.ShowMessage(kCannotWriteScriptKeys + ScriptKeysPath(), text::kNotice, kMbOk | kMbIconError);
  // Switching the hot keys on or off takes effect now; the keys themselves
  // reach the keyboard recorder at its next publication.
  recording_.Keys().HotKeysEnabled = RecordingOptionsFor(Settings).hotKeys.enabled;
}

void TFrmMain::MnuContentClick() {
  const std::string path = help::HelpFilePath(exeDirectory_);
  if (!help::HelpFileExists(path)) {
    view_.ShowMessage(std::string(help::kCannotOpenHelp) + path, help::kNoticeCaption, kMbOk | kMbIconError);
    return;
  }
  // Whether the shell managed to open it is not examined.
  view_.ShellRequest("open", path, "");
}

void TFrmMain::MnuVHostClick() {
  // No verb: the shell's default action on the browser, named explicitly.
  view_.ShellRequest("", help::kBrowser, help::kHomePage);
}

void TFrmMain::MnuAboutClick() { view_.ShowAboutModal(settingsFolder_); }

void TFrmMain::MnuRunAsAdminClick() {
  if (!document_.ConfirmDiscard()) return;
  const std::string program = view_.ProgramPath();
  if (program.empty()) return;
  std::string parameters;
  if (!document_.FileName.empty()) parameters = "\"" + document_.FileName + "\"";
  if (!view_.ShellRequestChecked("runas", program, parameters)) return;  // refused: this copy goes on
  // What was unsaved was saved or discarded by the question above.
  view_.Close();
}

void TFrmMain::SBToMicroClick() {
  view_.SetMainVisible(false);
  view_.ShowMiniModal();
  ShowMainWindow();
}

void TFrmMain::ShowMainWindow() {
  if (view_.MainVisible()) return;
  // The hot keys work from the moment the window can be seen: a key pressed
  // as it appears finds the keyboard hook in place and the keys published.
  ServeHotKeys();
  view_.SetMainVisible(true);
  FormShow();
}

void TFrmMain::MnuJoyStickClick(int controller) {
  const JoystickReport r = BuildJoystickReport(joysticks_, controller);
  view_.ShowMessage(r.text, r.caption, kMbOk | kMbIconInformation);
}

}  // namespace tesmuro

// ---- recording clock and recorders ----

namespace tesmuro {

void TFrmMain::SyncLastEventTime() { recording_.SyncLastEventTime(); }

void TFrmMain::AppendLine(std::string_view gbk) { document_.AppendLine(gbk); }

void TFrmMain::SetStatusText(int panel, std::string_view utf8) {
  if (panel == 3) {
    lastPanelShown_ = utf8;
    editResultShown_ = false;
    waitShown_.clear();
  }
  view_.SetStatusText(panel, utf8);
}

void TFrmMain::ShowEditResult(std::string_view utf8) {
  const std::string under = editResultShown_ ? underEditResult_ : lastPanelShown_;
  SetStatusText(3, utf8);
  editResultShown_ = true;
  underEditResult_ = under;
}

void TFrmMain::TextChangedByUser() {
  document_.ChangedByUser();
  if (editResultShown_) SetStatusText(3, underEditResult_);
}

HotKeyCommand TFrmMain::OnKeyEvent(const KeyHookEvent& e) {
  // A run may be waiting for the user's key (等待按键).
  if (const std::optional<Shortcut> key = userKeys_.OnEvent(e)) playback_.UserKeyPressed(*key);
  const HotKeyCommand command = recording_.OnKeyEvent(e, playback_.Playing());
  if (command == HotKeyCommand::None && scriptKeys_.Matches(e)) return HotKeyCommand::ScriptKey;
  return command;
}

bool TFrmMain::Running() const { return playback_.Playing() || Recording(); }

void TFrmMain::Tick() {
  UpdatePlayState();
  ShowPlayerNotices();
  if (exitWhenDone_ && playback_.Ended()) ExitWith(RunExitCode());
  if (emergencyHintShown_ && !playback_.Playing()) ShowEmergencyStopHint(false);
  if ((recording_.Keys().HotKeysEnabled || Running() || !scriptKeys_.Rows().empty()) &&
      recording_.Keys().CheckHook())
    SetStatusText(2, text::kKeyHookReinstalled);
}

void TFrmMain::ShowPlayerNotices() {
  const play::RunNotices n = playback_.TakeNotices();
  if (n.screen) {
    SetStatusText(2, text::ScreenNotMapped(n.screen->recorded.width, n.screen->recorded.height,
                                           n.screen->current.width, n.screen->current.height));
  }
  // A run that draws random delays names its seed in the wide last panel,
  // after the hint, and keeps it there when the run is over, for /seed.
  if (n.seed) {
    seedShown_ = play::SeedHint(*n.seed, "/seed");
    SetStatusText(3, emergencyHintShown_ ? text::kEmergencyStopHint + std::string("　") + seedShown_ : seedShown_);
  }
  ShowWait(n.wait);
  if (n.pause) {
    const std::string where = play::PauseNoticeText(*n.pause);
    SetStatusText(3, where);
    view_.SetStatusTip(3, where);
    pauseShown_ = true;
  } else if (pauseShown_ && !playback_.Paused()) {
    // Going on: the run's hint comes back (a stopped run's panel was reset by the stop).
    pauseShown_ = false;
    if (emergencyHintShown_ && playback_.Playing())
      SetStatusText(3, seedShown_.empty() ? std::string(text::kEmergencyStopHint)
                                          : text::kEmergencyStopHint + std::string("　") + seedShown_);
  }
  if (n.ended) ShowStopReason();
  if (n.inputBlocked != blockedShown_) {
    blockedShown_ = n.inputBlocked;
    SetStatusText(2, n.inputBlocked ? text::kInputBlocked : "");
  }
}

void TFrmMain::ShowStopReason() {
  const play::RunVerdict cut = playback_.Verdict(kTitleColumns);
  if (!cut.onLine) return;
  // In the wide last panel, where the run's emergency stop hint was; it
  // stays until the next run.
  emergencyHintShown_ = false;
  const std::string seed = seedShown_.empty() ? "" : "　" + seedShown_;
  SetStatusText(3, cut.text + seed);
  view_.SetStatusTip(3, playback_.Verdict().text + seed);
}

void TFrmMain::ShowWait(const std::optional<play::WaitProgress>& wait) {
  const std::string text = wait ? play::WaitProgressText(*wait, kTitleColumns) : std::string();
  if (text == waitShown_) return;
  // Short waits one after another would make the panel flicker.
  const uint32_t now = clock_.TickCount();
  if (!text.empty() && now - waitShownAt_ < kWaitShownEveryMs) return;
  if (text.empty()) {
    const std::string under = underWait_;
    SetStatusText(3, under);
    return;
  }
  const std::string under = waitShown_.empty() ? lastPanelShown_ : underWait_;
  SetStatusText(3, text);
  view_.SetStatusTip(3, play::WaitProgressText(*wait));
  waitShown_ = text;
  underWait_ = under;
  waitShownAt_ = now;
}

void TFrmMain::RunHotKey(HotKeyCommand command) {
  switch (command) {
    case HotKeyCommand::Record: SBRecordClick(); break;
    case HotKeyCommand::Play:
      if (Settings.PlayKeyPlaysMemo)
        MnuPlayMemoClick();
      else
        SBProcClick();
      break;
    case HotKeyCommand::Stop:
    case HotKeyCommand::EmergencyStop: SBStopClick(); break;
    case HotKeyCommand::ScriptKey: PlayScriptKey(); break;
    case HotKeyCommand::None: break;
  }
}

// ---- file commands ----

void TFrmMain::SBNewClick() {
  if (view_.ShowMessage(text::kAskNew, text::kNotice, kMbOkCancel | kMbIconInformation) != kIdOk) return;
  document_.New();
}

void TFrmMain::SBLoadClick() {
  if (!document_.ConfirmDiscard()) return;
  const auto chosen = view_.RunFileDialog(FileDialog::Open);
  if (!chosen) return;
  document_.Load(*chosen);
}

void TFrmMain::SBSaveClick() { document_.Save(/*saveAs=*/false); }

void TFrmMain::MnuSaveAsClick() { document_.Save(/*saveAs=*/true); }

void TFrmMain::BitBtnClearClick() {
  if (!document_.ConfirmDiscard()) return;
  document_.Clear();
}

// ---- record and stop ----

void TFrmMain::SBRecordClick() {
  RecordingOptions options = RecordingOptionsFor(Settings, {.gameMode = switches_.gameMode});
  if (screen_) options.screen = screen_();
  // The journal starts with the text before the recording's first line.
  document_.RecordingStarts(clock_.TickCount());
  recording_.Start(options);
  recording_.StartControllers(
      [&] { view_.ShowMessage(text::kTwoJoysticksOnly, text::kNotice, kMbOk | kMbIconInformation); });
  if (Settings.RecMouseMsg || Settings.RecKeyMsg) view_.SetMouseCapture();
  UpdatePlayState();
  view_.Beep(500, 100);
}

void TFrmMain::SBStopClick() {
  if (exitWhenDone_ && playback_.Player()) ExitWith(RunExitCode());
  recording_.Stop();
  StopPlayer();
  PublishHotKeys();
  document_.RecordingStops(clock_.TickCount());
  view_.ReleaseMouseCapture();
  UpdatePlayState();
  view_.Beep(1000, 100);
}

void TFrmMain::TrayMenuOpens() { trayMenuMark_ = recording_.RightPressMark(); }

void TFrmMain::TrayStopClick() {
  const std::optional<int64_t> mark = std::exchange(trayMenuMark_, std::nullopt);
  if (mark && Recording()) {
    recording_.Stop();  // what it holds back is written first, then taken back with the rest
    document_.TakeBackLines(recording_.LinesSince(*mark));
  }
  SBStopClick();
}

}  // namespace tesmuro

// ---- playback ----

namespace tesmuro {

void TFrmMain::StopPlayer() {
  ShowEmergencyStopHint(false);
  // Stop, closing the window and a new Play all count as the user's stop:
  // none of them leads to the shutdown after the loops.
  playback_.Stop();
}

RunRequest TFrmMain::Request(bool withShutdown) const {
  RunRequest r = switches_;
  // An unattended run whose input the system drops has nothing to play to.
  r.stopWhenBlocked = exitWhenDone_;
  r.withShutdown = withShutdown;
  return r;
}

bool TFrmMain::BeginRun(const play::ScriptSource& source, const RunRequest& request,
                        std::optional<play::LineSpan> part) {
  PublishHotKeys();
  play::RunOptions options = RunOptionsFor(Settings, request);
  // A run the box shows stops at the box's breakpoints and can be stepped.
  if (source.shownInBox) {
    options.debuggable = true;
    options.breakpoints = view_.MemoBreakpoints();
    if (part) options.part = *part;
  }
  switch (playback_.Start(source, options, clock_.TickCount())) {
    case play::PlaybackSession::StartResult::Started: break;
    case play::PlaybackSession::StartResult::CannotOpen:
      // An unattended run ends at once; a user sees what is wrong.
      if (exitWhenDone_)
        ExitWith(kExitError);
      else
        view_.ShowMessage(text::kCannotOpenScript, text::kNotice, kMbOk | kMbIconError);
      return false;
    case play::PlaybackSession::StartResult::CannotCopy:
      throw std::runtime_error("Cannot write a temporary file for the script");
  }
  blockedShown_ = false;
  pauseShown_ = false;
  seedShown_.clear();
  ShowEmergencyStopHint(true);
  if (source.shownInBox) view_.FollowMemoPlayback();
  UpdatePlayState();
  view_.Beep(800, 100);
  return true;
}

void TFrmMain::UpdatePlayState() {
  const bool recording = Recording();
  const play::Progress p = playback_.ProgressAt(clock_.TickCount());
  const std::string t = play::PlayStateText(recording, p);
  if (t == playStateShown_) return;
  playStateShown_ = t;
  SetStatusText(0, t);
  view_.SetMiniState(p.playing || recording ? t : std::string());
}

void TFrmMain::ShowEmergencyStopHint(bool on) {
  if (on == emergencyHintShown_) return;
  emergencyHintShown_ = on;
  SetStatusText(3, on ? text::kEmergencyStopHint : seedShown_.empty() ? forms::main::kPanels[3].text : seedShown_);
}

void TFrmMain::SBProcClick() {
  const auto chosen = view_.RunFileDialog(FileDialog::OpenPlay);
  if (!chosen) return;
  recording_.Pause();
  // The box's own file, as the box holds it: the box shows where the run is.
  const bool shownInBox = *chosen == document_.FileName && document_.MatchesFile();
  if (BeginRun(play::ScriptSource::File(*chosen, shownInBox), Request(/*withShutdown=*/true)))
    UpdateCaption(*chosen);
}

void TFrmMain::PlayScriptKey() {
  const std::optional<setup::ScriptHotKey>& row = scriptKeys_.Fired();
  // A run or a recording in progress goes on as it was; in the settings
  // dialog the key may be being typed into a row.
  if (!row || Running()) return;
  if (const setup::ISetupDialog* dialog = view_.SetupDialog(); dialog && dialog->Showing()) return;
  recording_.Pause();
  // The settings' options, with the row's passes in place of their loops.
  RunRequest request = Request(/*withShutdown=*/true);
  request.loops = row->passes;
  const std::string file = ScriptKeyFile(settingsFolder_, row->script);
  const bool shownInBox = file == document_.FileName && document_.MatchesFile();
  if (BeginRun(play::ScriptSource::File(file, shownInBox), request)) UpdateCaption(file);
}

void TFrmMain::MnuPlayMemoClick() {
  std::string text = view_.MemoText();
  if (text.empty()) {
    view_.ShowMessage(text::kNothingToPlay, text::kNotice, kMbOk | kMbIconInformation);
    return;
  }
  recording_.Pause();
  // Pictures the text names are taken from its file's folder (none: the current folder).
  BeginRun(play::ScriptSource::Box(std::move(text), FolderOf(document_.FileName)),
           Request(/*withShutdown=*/true));
}

void TFrmMain::MnuPlayOrContinueClick() {
  if (playback_.Paused() && playback_.ShownInBox()) {
    SBPauseClick();
    return;
  }
  MnuPlayMemoClick();
}

void TFrmMain::MnuPlayFromHereClick(bool selection) {
  const play::LineSpan part = view_.MemoCaretLines(selection);
  std::string text = view_.MemoText();
  if (text.empty() || part.start >= static_cast<int64_t>(text.size()) || part.end == part.start) {
    view_.ShowMessage(text::kNothingToPlay, text::kNotice, kMbOk | kMbIconInformation);
    return;
  }
  recording_.Pause();
  BeginRun(play::ScriptSource::Box(std::move(text), FolderOf(document_.FileName)), Request(/*withShutdown=*/true),
           part);
}

void TFrmMain::MnuStepLineClick() {
  if (playback_.Step()) UpdatePlayState();
}

void TFrmMain::HelpOnWord(std::string_view page) {
  const std::string path = help::HelpFilePath(exeDirectory_);
  if (!help::HelpFileExists(path)) {
    view_.ShowMessage(std::string(help::kCannotOpenHelp) + path, help::kNoticeCaption, kMbOk | kMbIconError);
    return;
  }
  view_.ShellRequest("open", "hh.exe", "\"" + path + "::/" + std::string(page) + "\"");
}

bool TFrmMain::HotKeyTakes(uint16_t shortcut) {
  // By the hot keys' own rule: a key stored alone fires with any modifiers.
  auto takes = [shortcut](uint16_t stored) {
    const Shortcut key(stored), pressed(shortcut);
    if (key.Empty()) return false;
    return key.Modifiers() == 0 ? key.Key() == pressed.Key() : key.SameKeyAs(pressed);
  };
  TKeyHook& keys = recording_.Keys();
  if (keys.HotKeysEnabled && (takes(keys.HotRecordKey) || takes(keys.HotStartKey) || takes(keys.HotStopKey)))
    return true;
  for (const setup::ScriptHotKey& row : scriptKeys_.Rows())
    if (takes(row.key)) return true;
  return false;
}

void TFrmMain::MnuCaptureImageClick() {
  if (Running()) {
    view_.ShowMessage(capture::kNotWhileRunning, text::kNotice, kMbOk | kMbIconInformation);
    return;
  }
  // The picture goes beside the script: a script without a file gets one first.
  if (document_.FileName.empty()) {
    if (view_.ShowMessage(capture::kAskSaveScriptFirst, text::kNotice, kMbOkCancel | kMbIconInformation) != kIdOk)
      return;
    if (!document_.Save(/*saveAs=*/false)) return;
  }
  std::optional<IMainView::CapturedArea> taken;
  {
    // The window is not in the picture, and comes back however the capture ends.
    const bool wasVisible = view_.MainVisible();
    if (wasVisible) view_.SetMainVisible(false);
    struct ComeBack {
      IMainView& view;
      bool show;
      ~ComeBack() {
        if (show) view.SetMainVisible(true);
      }
    } comeBack{view_, wasVisible};
    taken = view_.CaptureArea();
  }
  if (!taken || taken->picture.Empty()) return;
  const std::string folder = FolderOf(document_.FileName);
  const std::string proposed = capture::ProposeName(folder, [](const std::string& path) {
    return UniqueFile(OpenFile(path, "rb")) != nullptr;
  });
  const auto path = view_.AskPictureFile(folder, proposed);
  if (!path) return;
  if (!image::SavePng(*path, taken->picture)) {
    view_.ShowMessage(capture::kCannotSavePicture + *path, text::kNotice, kMbOk | kMbIconError);
    return;
  }
  // A limit of 0 looks only once; a picture just taken deserves a real wait.
  const int32_t seconds = Settings.WaitWindowSeconds > 0 ? Settings.WaitWindowSeconds : 10;
  view_.InsertLineAtCaret(capture::WaitImageLine(capture::NameInFolder(folder, *path), seconds, taken->area));
  TextChangedByUser();
}

void TFrmMain::MnuExportClick() {
  if (Running()) {
    view_.ShowMessage(text::kExportNotWhileRunning, text::kNotice, kMbOk | kMbIconInformation);
    return;
  }
  // What is packed is the file: a script without one, or with changes not
  // yet in it, is saved first.
  if (document_.FileName.empty() || document_.Modified()) {
    if (view_.ShowMessage(text::kExportAskSaveFirst, text::kNotice, kMbOkCancel | kMbIconInformation) != kIdOk)
      return;
    if (!document_.Save(/*saveAs=*/false)) return;
  }
  const std::string script = document_.FileName;
  const pack::ExportPlan plan = pack::PlanExport(script, pack::PackedRunFor(Settings, Request(false)));
  if (!plan.error.empty()) {
    view_.ShowMessage(text::kExportFailed + plan.error + "。", text::kNotice, kMbOk | kMbIconError);
    return;
  }
  const std::string summary = "将打包以下文件：\n" + pack::DescribeFiles(plan.payload) + "\n导出的程序将这样播放：\n" +
                              pack::DescribeOptions(plan.payload.run) + "\n选择要保存的程序文件。";
  if (view_.ShowMessage(summary, text::kExportTitle, kMbOkCancel | kMbIconInformation) != kIdOk) return;
  std::string name = plan.payload.scriptName;
  if (const size_t dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  const auto output =
      view_.AskProgramFile(exportFolder_.empty() ? FolderOf(script) : exportFolder_, name + ".exe");
  if (!output) return;
  exportFolder_ = FolderOf(*output);
  const std::string error = pack::WriteExportedProgram(view_.ProgramPath(), plan.payload, *output, script);
  if (!error.empty()) {
    view_.ShowMessage(text::kExportFailed + error + "。", text::kNotice, kMbOk | kMbIconError);
    return;
  }
  view_.ShowMessage("已导出：" + *output, text::kExportTitle, kMbOk | kMbIconInformation);
}

void TFrmMain::SBPauseClick() {
  if (playback_.TogglePause()) UpdatePlayState();
}

void TFrmMain::StartupAutoPlay() {
  if (!Settings.AutoPlay || Settings.AutoFileName.empty()) return;
  // The auto play stops only the mouse recorder: keyboard and controller
  // recording go on as they were.
  recording_.Mouse().SetRecording(false);
  BeginRun(play::ScriptSource::File(view_.AnsiToUtf8(Settings.AutoFileName)), Request(/*withShutdown=*/false));
}

}  // namespace tesmuro
