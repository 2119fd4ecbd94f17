#include "setup/settings_places.h"

namespace tesmuro {

std::string JoinPath(const std::string& folder, const std::string& name) {
#ifdef _WIN32
  constexpr char kSeparator = '\\';
#else
  constexpr char kSeparator = '/';
#endif
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += kSeparator;
  return path + name;
}

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
