// A main window's services, all fakes, and a fresh folder standing for the
// program's own.
#pragma once

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

namespace tesmuro::test {

class MainWindowFixture : public ::testing::Test {
 protected:
  MainWindowServices Services() {
    MainWindowServices s{view, clock, hooks, joys, dir.Str()};
    s.recovery = &recovery;
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
  play::ScreenRect screen;  // the screen a recording starts on; unknown: no screen line
};

}  // namespace tesmuro::test
