#include "setup/software_setup.h"

namespace tesmuro::setup {

bool EditSettings(ISetupDialog& dialog, TSettings& settings, const TextConversion& ansiToUtf8,
                  const TextConversion& utf8ToAnsi) {
  dialog.SetState(FillSetupDialog(settings, ansiToUtf8));
  if (dialog.ShowModal() != kResultConfirm) return false;
  ReadSetupDialog(dialog.State(), settings, utf8ToAnsi);
  return true;
}

}  // namespace tesmuro::setup
