#include "play/shutdown.h"

#include <gtest/gtest.h>

#include "player_fakes.h"

namespace tesmuro::play {
namespace {

using V = std::vector<std::string>;

TEST(PlayerShutdownTest, StepsAndResults) {
  const V enable = {"open 40", "lookup SeShutdownPrivilege", "adjust token 19 2", "last-error"};
  auto with = [&](V tail) {
    V v = enable;
    v.insert(v.end(), tail.begin(), tail.end());
    return v;
  };
  struct Case {
    bool openOk, exitOk;
    uint32_t lastError;
    bool result;
    V log;
  } cases[] = {
      {true, true, 0, true, with({"exit 5 2147614720", "close token"})},
      {true, false, 0, false, with({"exit 5 2147614720", "close token"})},
      {true, true, 1300, false, with({"close token"})},  // privilege not held: no ExitWindowsEx
      {false, true, 0, false, {"open 40"}},
  };
  for (const Case& c : cases) {
    test::FakeShutdown sys;
    sys.openOk = c.openOk;
    sys.exitOk = c.exitOk;
    sys.lastError = c.lastError;
    EXPECT_EQ(ShutdownSystem(sys), c.result);
    EXPECT_EQ(sys.log, c.log);
  }
}

}  // namespace
}  // namespace tesmuro::play
