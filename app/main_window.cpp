#include "app/main_window.h"

#include "app/texts.h"
#include "util/file_io.h"
#include "util/text.h"

namespace tesmuro {

TFrmMain::TFrmMain(const MainWindowServices& s)
    : view_(s.view), clock_(s.clock), joysticks_(s.joysticks), exeDirectory_(s.exeDirectory) {
  mouseHook_ = std::make_unique<TMouseHook>(s.hooks, s.clock);
  keyHook_ = std::make_unique<TKeyHook>(s.hooks, s.clock);
  ScriptFileName.clear();
  Settings = ConstructionSettings();
  LoadSettings(SettingsPath());
  PublishHotKeys();
  JoyRecording = false;
}

TFrmMain::~TFrmMain() {
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
}

void TFrmMain::FormClose() {
  mouseHook_->SetRecording(false);
  keyHook_->SetRecording(false);
  mouseHook_->Uninstall();
  keyHook_->Uninstall();
  joysticks_.ReleaseCapture(0);
  joysticks_.ReleaseCapture(1);
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

}  // namespace tesmuro
