// The registry and the program's path for the start-with-the-system value.
#pragma once

#include <windows.h>

#include <string>

#include "setup/auto_run.h"

namespace tesmuro::win {

class WinRegistry : public setup::IRegistry {
 public:
  bool OpenKey(Key parent, std::string_view path, Access access, Key& key) override;
  std::optional<std::string> ReadString(Key key, std::string_view name) override;
  bool SetString(Key key, std::string_view name, std::string_view data) override;
  bool DeleteValue(Key key, std::string_view name) override;
  void CloseKey(Key key) override;
};

}  // namespace tesmuro::win
