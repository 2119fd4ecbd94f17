// Where the settings may live, as the Windows file system answers.
#pragma once

#include "setup/settings_places.h"

namespace tesmuro::win {

class WinSettingsPlaces : public ISettingsPlaces {
 public:
  bool Exists(const std::string& path) override;
  // Makes and at once deletes a file of its own there: a folder's
  // permissions, a read-only medium and virtualised folders all show.
  bool CanWriteIn(const std::string& folder) override;
  // %APPDATA%
  std::string UserDataFolder() override;
  bool MakeFolder(const std::string& folder) override;
};

}  // namespace tesmuro::win
