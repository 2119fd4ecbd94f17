// The settings command's dialog step: fill, show, read back.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "setup/settings.h"
#include "setup/setup_dialog.h"

namespace tesmuro::setup {

using TextConversion = std::function<std::string(std::string_view)>;

// Fills the dialog from `settings` (the file name through `ansiToUtf8`) and
// shows it. When the user confirms, the controls are read back into
// `settings` (the name through `utf8ToAnsi`) and the result is true; a number
// that cannot be read throws InvalidInteger with what was read before it kept.
bool EditSettings(ISetupDialog& dialog, TSettings& settings, const TextConversion& ansiToUtf8,
                  const TextConversion& utf8ToAnsi);

}  // namespace tesmuro::setup
