// The logic of the main window: its state, its lifecycle and its commands.
// The window itself (controls, dialogs, message loop) is reached through
// IMainView, so all of this runs the same under tests and in the program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/main_view.h"
#include "app/platform.h"
#include "app/settings.h"
#include "record/key_hook.h"
#include "record/mouse_hook.h"

namespace tesmuro {

// The services the main window works with, owned by the caller.
struct MainWindowServices {
  IMainView& view;
  IClock& clock;
  IHookHost& hooks;
  IJoystickService& joysticks;
  std::string exeDirectory;  // UTF-8, with or without a trailing separator
};

class TFrmMain {
 public:
  // Runs the construction steps: recorders, construction values of the
  // settings, the settings file, the hot keys.
  explicit TFrmMain(const MainWindowServices& services);
  ~TFrmMain();
  TFrmMain(const TFrmMain&) = delete;
  TFrmMain& operator=(const TFrmMain&) = delete;

  // Lifecycle.
  void FormCreate();
  void FormShow();
  void FormClose();
  void AppIdle();
  void UpdateCaption(const std::string& name);

  // Commands.
  void MnuExitClick();

  // Settings file.
  std::string SettingsPath() const;
  void LoadSettings(const std::string& path);
  void SaveSettings(const std::string& path);

  // Hands RecordKey, StartKey, StopKey (and the switch, when asked) to the
  // keyboard recorder.
  void PublishHotKeys(bool withSwitch = true);

  // State.
  TSettings Settings;
  std::string ScriptFileName;
  uint32_t LastEventTime = 0;
  bool JoyRecording = false;

  TMouseHook& MouseHook() { return *mouseHook_; }
  TKeyHook& KeyHook() { return *keyHook_; }

 private:
  IMainView& view_;
  IClock& clock_;
  IJoystickService& joysticks_;
  std::string exeDirectory_;
  std::unique_ptr<TMouseHook> mouseHook_;
  std::unique_ptr<TKeyHook> keyHook_;
};

}  // namespace tesmuro
