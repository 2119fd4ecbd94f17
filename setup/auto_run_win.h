// The registry and the program's path for the start-with-the-system value.
#pragma once

#include <windows.h>

#include <string>

#include "setup/auto_run.h"

namespace tesmuro::win {

class WinRegistry : public setup::IRegistry {
 public:
  bool CreateKey(Key parent, std::string_view path, Key& key) override;
  bool OpenKey(Key parent, std::string_view path, Key& key) override;
  bool SetString(Key key, std::string_view name, std::string_view data) override;
  void CloseKey(Key key) override;
};

// The full path of the running program as the system reports it (UTF-8).
std::string ExePath();

}  // namespace tesmuro::win
