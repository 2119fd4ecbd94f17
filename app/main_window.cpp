#include "app/main_window.h"

#include <algorithm>
#include <stdexcept>

#include "app/texts.h"
#include "auxiliary/joystick_report.h"
#include "script/script_format.h"
#include "util/file_io.h"
#include "util/text.h"

namespace tesmuro {

TFrmMain::TFrmMain(const MainWindowServices& s)
    : view_(s.view), clock_(s.clock), joysticks_(s.joysticks), exeDirectory_(s.exeDirectory),
      newPlayer_(s.newPlayer) {
  if (!newPlayer_) newPlayer_ = [] { return std::make_unique<play::TRunThread>(); };
  mouseHook_ = std::make_unique<TMouseHook>(s.hooks, s.clock);
  keyHook_ = std::make_unique<TKeyHook>(s.hooks, s.clock);
  ScriptFileName.clear();
  Settings = ConstructionSettings();
  LoadSettings(SettingsPath());
  PublishHotKeys();
  JoyRecording = false;
}

TFrmMain::~TFrmMain() {
  Player.reset();
  ClosePlayFile();
  // The keyboard recorder goes first, then the mouse recorder; each stops
  // recording and removes its hook.
  keyHook_.reset();
  mouseHook_.reset();
}

std::string TFrmMain::SettingsPath() const {
  std::string dir = exeDirectory_;
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') {
#ifdef _WIN32
    dir += '\\';
#else
    dir += '/';
#endif
  }
  return dir + kSettingsFileName;
}

void TFrmMain::LoadSettings(const std::string& path) {
  UniqueFile f(OpenFile(path, "rb"));
  if (!f) {
    view_.ShowMessage(text::kCannotOpenInputSettings, text::kNotice, kMbOk | kMbIconError);
    return;
  }
  ParseSettings(f.get(), Settings);
}

void TFrmMain::SaveSettings(const std::string& path) {
  if (!WriteFileAtomically(path, FormatSettings(Settings)))
    view_.ShowMessage(text::kCannotOpenOutputSettings, text::kNotice, kMbOk | kMbIconError);
}

void TFrmMain::PublishHotKeys(bool withSwitch) {
  keyHook_->HotRecordKey = Settings.RecordKey;
  keyHook_->HotStartKey = Settings.StartKey;
  keyHook_->HotStopKey = Settings.StopKey;
  if (withSwitch) keyHook_->HotKeysEnabled = Settings.ShortCutControl;
}

void TFrmMain::FormCreate() {
  view_.InstallIdleHandler();
  LastEventTime = clock_.TickCount();
}

void TFrmMain::FormShow() {
  view_.ProcessMessages();
  PublishHotKeys(/*withSwitch=*/false);
  keyHook_->Install();
  StartupAutoPlay();
}

void TFrmMain::FormClose() {
  mouseHook_->SetRecording(false);
  keyHook_->SetRecording(false);
  mouseHook_->Uninstall();
  keyHook_->Uninstall();
  joysticks_.ReleaseCapture(0);
  joysticks_.ReleaseCapture(1);
  StopPlayer();
  view_.Sleep(100);
}

void TFrmMain::AppIdle() {
  std::string label = text::kStepCounterPrefix;
  label += ToDec(view_.MemoLineCount());
  label += text::kStepCounterSuffix;
  view_.SetStepCounter(label);
}

void TFrmMain::UpdateCaption(const std::string& name) {
  view_.SetCaption(std::string(text::kCaptionPrefix) + name);
}

void TFrmMain::MnuExitClick() { view_.Close(); }

void TFrmMain::SBToMicroClick() {
  view_.SetMainVisible(false);
  view_.ShowMiniModal();
  ShowMainWindow();
}

void TFrmMain::FrmMircoClose() { ShowMainWindow(); }

void TFrmMain::ShowMainWindow() {
  if (view_.MainVisible()) return;
  view_.SetMainVisible(true);
  FormShow();
}

void TFrmMain::MnuJoyStickClick() {
  const JoystickReport r = BuildJoystickReport(joysticks_, 1);
  view_.ShowMessage(r.text, r.caption, kMbOk | kMbIconInformation);
}

void TFrmMain::MnuJoyStick2Click() {
  const JoystickReport r = BuildJoystickReport(joysticks_, 2);
  view_.ShowMessage(r.text, r.caption, kMbOk | kMbIconInformation);
}

}  // namespace tesmuro

// ---- recording clock and recorders ----

namespace tesmuro {

void TFrmMain::SyncLastEventTime() {
  const uint32_t m = mouseHook_->GetLastTime();
  const uint32_t k = keyHook_->GetLastTime();
  const uint32_t f = LastEventTime;
  if (std::max(k, f) < m) {
    keyHook_->SetLastTime(m);
    LastEventTime = m;
  } else if (std::max(m, f) < k) {
    mouseHook_->SetLastTime(k);
    LastEventTime = k;
  } else {
    mouseHook_->SetLastTime(f);
    keyHook_->SetLastTime(f);
  }
}

void TFrmMain::WriteDelayLine() {
  const uint32_t now = clock_.TickCount();
  const auto delay = static_cast<int32_t>(now - LastEventTime);
  LastEventTime = clock_.TickCount();
  AppendLine(script::DelayLine(delay));
}

void TFrmMain::AppendLine(std::string_view gbk) { view_.MemoAppendLine(gbk); }

void TFrmMain::SetStatusText(int panel, std::string_view utf8) { view_.SetStatusText(panel, utf8); }

void TFrmMain::OnMouseEvent(const MouseHookEvent& e) { mouseHook_->OnEvent(e, *this); }

HotKeyCommand TFrmMain::OnKeyEvent(const KeyHookEvent& e) { return keyHook_->OnEvent(e, *this); }

void TFrmMain::RunHotKey(HotKeyCommand command) {
  switch (command) {
    case HotKeyCommand::Record: SBRecordClick(); break;
    case HotKeyCommand::Play: SBProcClick(); break;
    case HotKeyCommand::Stop: SBStopClick(); break;
    case HotKeyCommand::None: break;
  }
}

int CountJoysticks(IJoystickService& joysticks) {
  constexpr unsigned kJoyErrParms = 165;
  constexpr unsigned kMaxIds = 16;
  int count = 0;
  for (unsigned id = 0; id < kMaxIds; ++id) {
    const unsigned r = joysticks.GetPosEx(id);
    if (r == kJoyErrParms) break;
    if (r == 0) ++count;
  }
  return count;
}

void TFrmMain::OnJoy1Move(uint32_t lParam) {
  const int32_t x = static_cast<int32_t>(lParam & 0xFFFFu);
  const int32_t y = static_cast<int32_t>(lParam >> 16);
  bool changed = false;
  if (x != LastJoyX) {
    LastJoyX = x;
    changed = true;
  }
  if (y != LastJoyY) {
    LastJoyY = y;
    changed = true;
  }
  if (changed && JoyRecording) {
    SyncLastEventTime();
    WriteDelayLine();
    AppendLine(script::JoyMoveLine(LastJoyX, LastJoyY));
  }
}

void TFrmMain::OnJoy1ButtonDown(uint32_t wParam) {
  if (!JoyRecording) return;
  SyncLastEventTime();
  WriteDelayLine();
  AppendLine(script::JoyButtonLine(static_cast<int32_t>(wParam)));
}

// ---- file commands ----

void TFrmMain::SBNewClick() {
  if (view_.ShowMessage(text::kAskNew, text::kNotice, kMbOkCancel | kMbIconInformation) != kIdOk) return;
  ScriptFileName.clear();
  view_.MemoSetText("");
}

void TFrmMain::SBLoadClick() {
  const auto chosen = view_.RunFileDialog(FileDialog::Open);
  if (!chosen) return;
  ScriptFileName = *chosen;
  std::string bytes;
  if (!ReadWholeFile(ScriptFileName, bytes))
    throw std::runtime_error("Cannot open file \"" + ScriptFileName + "\"");
  view_.MemoSetText(script::NormalizeLineBreaks(bytes));
  UpdateCaption(ScriptFileName);
}

void TFrmMain::WriteScript(const std::string& path) {
  // Every line is saved with its CR LF, the last one too.
  std::string text = view_.MemoText();
  if (!text.empty() && text.back() != '\n' && text.back() != '\r') text += "\r\n";
  if (!WriteFileAtomically(path, text)) throw std::runtime_error("Cannot create file \"" + path + "\"");
}

void TFrmMain::SBSaveClick() {
  if (ScriptFileName.empty()) {
    const auto chosen = view_.RunFileDialog(FileDialog::Save);
    if (!chosen) return;
    ScriptFileName = *chosen;
  }
  WriteScript(ScriptFileName);
  UpdateCaption(ScriptFileName);
}

void TFrmMain::MnuSaveAsClick() {
  const auto chosen = view_.RunFileDialog(FileDialog::Save);
  if (!chosen) return;
  ScriptFileName = *chosen;
  WriteScript(ScriptFileName);
}

void TFrmMain::BitBtnClearClick() { view_.MemoSetText(""); }

// ---- record and stop ----

void TFrmMain::SBRecordClick() {
  if (Settings.RecMouse) mouseHook_->Install();
  if (Settings.RecKey) keyHook_->Install();
  if (Settings.RecJoy) {
    joysticks_.SetCapture(0, 0, false);
    joysticks_.SetCapture(1, 0, false);
  }
  if (Settings.RecMouse) mouseHook_->SetRecording(true);
  if (Settings.RecKey) keyHook_->SetRecording(true);
  LastEventTime = clock_.TickCount();
  PublishHotKeys();
  if (Settings.RecJoy && joysticks_.GetNumDevs() != 0) {
    const int n = CountJoysticks(joysticks_);
    JoyRecording = true;
    if (n > 2) view_.ShowMessage(text::kTwoJoysticksOnly, text::kNotice, kMbOk | kMbIconInformation);
    if (n >= 1) joysticks_.SetCapture(0, 100, true);
    if (n >= 2) joysticks_.SetCapture(1, 100, true);
  }
  if (Settings.RecMouseMsg || Settings.RecKeyMsg) view_.SetMouseCapture();
  view_.Beep(500, 100);
}

void TFrmMain::SBStopClick() {
  mouseHook_->SetRecording(false);
  keyHook_->SetRecording(false);
  mouseHook_->Uninstall();
  joysticks_.ReleaseCapture(0);
  joysticks_.ReleaseCapture(1);
  StopPlayer();
  PublishHotKeys();
  JoyRecording = false;
  ClosePlayFile();
  view_.ReleaseMouseCapture();
  view_.Beep(1000, 100);
}

}  // namespace tesmuro

// ---- playback ----

namespace tesmuro {

void TFrmMain::StopPlayer() {
  if (!Player) return;
  // Stop, closing the window and a new Play all count as the user's stop:
  // none of them leads to the shutdown after the loops.
  Player->RequestStop(true);
  Player.reset();
}

void TFrmMain::ClosePlayFile() {
  if (PlayFile) std::fclose(PlayFile);
  PlayFile = nullptr;
}

bool TFrmMain::OpenPlayFile(const std::string& path) {
  ClosePlayFile();
  PlayFile = OpenFile(path, "rb");
  if (PlayFile) return true;
  view_.ShowMessage(text::kCannotOpenScript, text::kNotice, kMbOk | kMbIconError);
  return false;
}

void TFrmMain::StartPlayer(bool withShutdown) {
  StopPlayer();
  Player = newPlayer_();
  Player->ScriptFile = PlayFile;  // the player closes it when its run ends
  PlayFile = nullptr;
  if (Settings.LoopByCount) {
    Player->SetLoopCount(Settings.LoopCount);
    Player->LoopMode = 0;
  } else if (Settings.LoopByTime) {
    Player->LoopTotalSeconds = Settings.LoopHours * 3600 + Settings.LoopMinutes * 60 + Settings.LoopSeconds;
    Player->LoopMode = 2;
  } else if (Settings.LoopUntilKey) {
    Player->LoopMode = 1;
  }
  PublishHotKeys();
  if (withShutdown) {
    Player->ShutAfterLoops = Settings.ShutAfterLoops;
    Player->ShutTotalSeconds = Settings.ShutHours * 3600 + Settings.ShutMinutes * 60 + Settings.ShutSeconds;
    Player->ShutAfterElapsed = Settings.ShutAfterElapsed;
  }
  Player->PostJoy = Settings.PostJoy;
  Player->SendInputJoy = Settings.SendInputJoy;
}

void TFrmMain::SBProcClick() {
  const auto chosen = view_.RunFileDialog(FileDialog::OpenPlay);
  if (!chosen) return;
  keyHook_->Install();
  mouseHook_->SetRecording(false);
  keyHook_->SetRecording(false);
  JoyRecording = false;
  if (!OpenPlayFile(*chosen)) return;
  StartPlayer(/*withShutdown=*/true);
  UpdateCaption(*chosen);
  Player->Resume();
  view_.Beep(800, 100);
}

void TFrmMain::SBPauseClick() {
  if (!Player) return;
  if (Player->Suspended())
    Player->Resume();
  else
    Player->Suspend();
}

void TFrmMain::StartupAutoPlay() {
  if (!Settings.AutoPlay || Settings.AutoFileName.empty()) return;
  mouseHook_->SetRecording(false);
  if (!OpenPlayFile(view_.AnsiToUtf8(Settings.AutoFileName))) return;
  StartPlayer(/*withShutdown=*/false);
  Player->Resume();
  view_.Beep(800, 100);
}

}  // namespace tesmuro
