// A main window's services, all fakes, and a fresh folder standing for the
// program's own.
#pragma once

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

namespace tesmuro::test {

// The places the settings may live in: the real file system for what exists,
// the rest as a test sets it.
class FakeSettingsPlaces : public ISettingsPlaces {
 public:
  bool writable = true;      // the program's folder
  std::string userData;      // empty: the user has no data folder
  int userDataAsked = 0;
  bool everythingExists = false;  // as a file that is there and cannot be read
  bool Exists(const std::string& path) override {
    return everythingExists || std::filesystem::exists(std::filesystem::u8path(path));
  }
  bool CanWriteIn(const std::string&) override { return writable; }
  std::string UserDataFolder() override {
    ++userDataAsked;
    return userData;
  }
  bool MakeFolder(const std::string& folder) override {
    std::error_code ec;
    std::filesystem::create_directory(std::filesystem::u8path(folder), ec);
    return std::filesystem::is_directory(std::filesystem::u8path(folder));
  }
};

class MainWindowFixture : public ::testing::Test {
 protected:
  MainWindowServices Services() {
    MainWindowServices s{view, clock, hooks, joys, dir.Str(), IdlePlayers()};
    s.recovery = &recovery;
    s.settingsPlaces = &places;
    if (screen.Known()) s.screen = [this] { return screen; };
    return s;
  }

  TempDir dir;
  CallLog log;
  FakeView view{log};
  FakeClock clock;
  FakeHooks hooks{log};
  FakeJoysticks joys{log};
  FakeRecoveryStore recovery;
  FakeSettingsPlaces places;
  ScreenRect screen;  // the screen a recording starts on; unknown: no screen line
};

}  // namespace tesmuro::test
