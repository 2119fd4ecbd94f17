#include "setup/settings_places.h"

#include "util/path.h"

namespace tesmuro {

std::string ChooseSettingsFolder(const std::string& programFolder, ISettingsPlaces& places) {
  // An installed copy may well be writable (installed for one user, or run
  // as administrator): its settings still go with the user, in one place.
  const bool installed = places.Exists(JoinPath(programFolder, kUninstallerName));
  if (!installed && places.CanWriteIn(programFolder)) return programFolder;
  const std::string data = places.UserDataFolder();
  if (data.empty()) return programFolder;
  const std::string folder = JoinPath(data, kUserSettingsFolderName);
  if (!places.MakeFolder(folder)) return programFolder;
  return folder;
}

}  // namespace tesmuro
