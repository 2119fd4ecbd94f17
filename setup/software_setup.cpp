// The main window's settings command: open, edit, apply.
#include "app/main_window.h"
#include "setup/setup_dialog.h"

namespace tesmuro {

void TFrmMain::MnuSoftwareSetupClick() {
  setup::ISetupDialog* dialog = view_.SetupDialog();
  // A second opening while the dialog is up would refill it under the user.
  if (!dialog || dialog->Showing()) return;

  const std::string path = SettingsPath();
  LoadSettings(path);
  dialog->SetState(setup::FillSetupDialog(Settings, [&](std::string_view s) { return view_.AnsiToUtf8(s); }));
  if (dialog->ShowModal() != setup::kResultConfirm) return;

  setup::ReadSetupDialog(dialog->State(), Settings, [&](std::string_view s) { return view_.Utf8ToAnsi(s); });
  SaveSettings(path);
  // Switching the hot keys on or off takes effect now; the keys themselves
  // reach the keyboard recorder at its next publication.
  keyHook_->HotKeysEnabled = Settings.ShortCutControl;
}

}  // namespace tesmuro
