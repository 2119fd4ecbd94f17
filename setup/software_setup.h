// The settings command's dialog step: fill, show, read back.
#pragma once

#include <functional>
#include <string>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "setup/settings.h"
#include "setup/setup_dialog.h"

namespace tesmuro::setup {

using TextConversion = std::function<std::string(std::string_view)>;

// Fills the dialog from `settings` (the file name through `ansiToUtf8`) and
// `scriptKeys` (the third page) and shows it. When the user confirms, the
// controls are read back into `settings` (the name through `utf8ToAnsi`),
// then into `scriptKeys`, and the result is true; a number that cannot be
// read throws InvalidInteger with what was read before it kept. The dialog
// refuses script hot keys that cannot be had before it closes; should some
// still come back, ScriptKeysRefused says which and `scriptKeys` is kept.
bool EditSettings(ISetupDialog& dialog, TSettings& settings, std::vector<ScriptHotKey>& scriptKeys,
                  const TextConversion& ansiToUtf8, const TextConversion& utf8ToAnsi);

class ScriptKeysRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace tesmuro::setup
