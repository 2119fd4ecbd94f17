// The recovery files on disk (Windows build only).
#ifdef _WIN32
#include <gtest/gtest.h>

#include <memory>

#include "app/recovery_store_win.h"
#include "support/temp_dir.h"
#include "util/text.h"

namespace tesmuro::win {
namespace {

std::wstring WideOf(const std::string& utf8) {
  auto u = Utf8ToUtf16(utf8);
  return std::wstring(u.begin(), u.end());
}

TEST(RecoveryStoreWin, ARunningProgramsFileIsNotTakenAnAbandonedOneIsTakenOnce) {
  test::TempDir dir;
  const std::wstring folder = WideOf(dir.File("恢复 folder"));
  auto crashed = std::make_unique<RecoveryStoreWin>(folder);
  ASSERT_TRUE(crashed->Start("line 1\r\n"));
  ASSERT_TRUE(crashed->Append("line 2\r\n"));
  RecoveryStoreWin running(folder);
  ASSERT_TRUE(running.Start("other\r\n"));

  RecoveryStoreWin next(folder);
  EXPECT_FALSE(next.TakeLeftOver().has_value()) << "both owners are still running";
  crashed.reset();  // its program ended without removing its file
  EXPECT_EQ(next.TakeLeftOver(), std::optional<std::string>("line 1\r\nline 2\r\n"));
  EXPECT_FALSE(next.TakeLeftOver().has_value()) << "offered once";

  running.Remove();
  EXPECT_EQ(dir.FileCount(), 1u) << "only the folder is left";
}

TEST(RecoveryStoreWin, StartingAgainReplacesTheFile) {
  test::TempDir dir;
  const std::wstring folder = WideOf(dir.Str());
  {
    RecoveryStoreWin s(folder);
    ASSERT_TRUE(s.Start("first recording, long\r\n"));
    ASSERT_TRUE(s.Start("second\r\n"));
  }
  RecoveryStoreWin next(folder);
  EXPECT_EQ(next.TakeLeftOver(), std::optional<std::string>("second\r\n"));
}

}  // namespace
}  // namespace tesmuro::win
#endif
