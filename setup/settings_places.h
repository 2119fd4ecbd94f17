// Where the settings file lives. A copy of the program that can write in its
// own folder (a portable copy) keeps its settings there and never looks
// anywhere else. A copy that cannot (one in Program Files), and a copy the
// installer put in place, keep them in the user's application data folder,
// in a folder of their own.
#pragma once

#include <string>

namespace tesmuro {

// What the choice needs to know of the system; paths are UTF-8.
class ISettingsPlaces {
 public:
  virtual ~ISettingsPlaces() = default;
  // A file or folder of that name exists.
  virtual bool Exists(const std::string& path) = 0;
  // A new file can be made in `folder`.
  virtual bool CanWriteIn(const std::string& folder) = 0;
  // The user's (roaming) application data folder; empty when there is none.
  virtual std::string UserDataFolder() = 0;
  // Makes `folder`, whose parent exists; true when it is there afterwards.
  virtual bool MakeFolder(const std::string& folder) = 0;
};

// The installer's uninstaller, beside an installed copy of the program.
inline constexpr char kUninstallerName[] = "Uninstall.exe";
// The folder in the user's application data folder.
inline constexpr char kUserSettingsFolderName[] = "Tesmuro";

// The folder the settings file lives in for the program in `programFolder`:
// that folder for a portable copy; else the user's folder, made when missing;
// the program's folder again when the user has no application data folder
// (its settings are then read from there and cannot be saved).
std::string ChooseSettingsFolder(const std::string& programFolder, ISettingsPlaces& places);

}  // namespace tesmuro
