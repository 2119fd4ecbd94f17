#include "setup/software_setup.h"

namespace tesmuro::setup {

bool EditSettings(ISetupDialog& dialog, TSettings& settings, std::vector<ScriptHotKey>& scriptKeys,
                  const TextConversion& ansiToUtf8, const TextConversion& utf8ToAnsi) {
  SetupDialogState shown = FillSetupDialog(settings, ansiToUtf8);
  FillScriptKeys(shown, scriptKeys);
  dialog.SetState(shown);
  if (dialog.ShowModal() != kResultConfirm) return false;
  const SetupDialogState state = dialog.State();
  ReadSetupDialog(state, settings, utf8ToAnsi);
  ScriptKeysRead keys = ReadScriptKeys(state);
  if (!keys.refusal.empty()) throw ScriptKeysRefused(keys.refusal);
  scriptKeys = std::move(keys.rows);
  return true;
}

}  // namespace tesmuro::setup
