// Files of the Linux program: the settings file in the user's configuration
// folder (XDG), the check that a script is GBK text, and the writing of a
// recording (with a recovery file when the file cannot be written).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "setup/settings.h"

namespace tesmuro::linux_files {

// $XDG_CONFIG_HOME/tesmuro/Quorlin.qlset, or ~/.config/tesmuro/Quorlin.qlset.
std::string DefaultSettingsPath();

// Reads the settings file; creates it with the defaults when it is missing
// (folders included). A file that cannot be created leaves the defaults and
// a notice in `notice`. A named file (--settings) that is missing is an error.
bool LoadSettings(const std::string& path, bool named, TSettings& settings, std::string& error,
                  std::string& notice);

// Whether `bytes` read as GBK: every byte 0x81..0xFE is followed by a trail
// byte 0x40..0xFE other than 0x7F; no byte 0x80 or 0xFF; no zero byte.
// `offset` receives the first bad byte's position.
bool IsGbkText(std::string_view bytes, std::size_t& offset);
// UTF-8 text with at least one non-ASCII character.
bool LooksLikeUtf8(std::string_view bytes);
// Why the bytes of the script `file` cannot be taken as one (not GBK, or a
// script saved as UTF-8), in a message that ends with how to convert it;
// `untouched` (such as "，没有改动") goes right after the reason. Empty when
// they can.
std::string ScriptTextProblem(const std::string& file, std::string_view bytes, std::string_view untouched = {});

// Reads a whole file. False (with errno's message in `error`) when it cannot.
bool ReadFile(const std::string& path, std::string& bytes, std::string& error);

// Writes the file at once and completely (a temporary beside it, renamed
// over it). False with a message when it cannot.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

// A file in $XDG_STATE_HOME/tesmuro (or ~/.local/state/tesmuro, or /tmp) for
// a recording that could not be saved where asked.
std::string RecoveryPath();

}  // namespace tesmuro::linux_files
