// The registry behind the start-with-the-system value, on the real registry
// (Windows build only), in a key of the current user's made for the test.
#ifdef _WIN32
#include <gtest/gtest.h>

#include "setup/auto_run_win.h"
#include "ui/win_util_win.h"

namespace tesmuro::win {
namespace {

using Access = setup::IRegistry::Access;
constexpr char kPath[] = "Software\\Tesmuro unit tests\\Run 运行";
constexpr wchar_t kParent[] = L"Software\\Tesmuro unit tests";

class WinRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kParent); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kParent); }
  WinRegistry reg;
  static constexpr setup::IRegistry::Key kUser = setup::IRegistry::kCurrentUser;
};

TEST_F(WinRegistryTest, WriteCreatesTheKeyAndStringsGoBothWays) {
  setup::IRegistry::Key key = 0;
  EXPECT_FALSE(reg.OpenKey(kUser, kPath, Access::Read, key)) << "reading does not create the key";
  ASSERT_TRUE(reg.OpenKey(kUser, kPath, Access::Write, key));
  const std::string data = "\"C:\\我的 工具\\Tesmuro.exe\"";
  EXPECT_TRUE(reg.SetString(key, "Quorlin", data));
  EXPECT_EQ(reg.ReadString(key, "Quorlin"), data);
  EXPECT_EQ(reg.ReadString(key, "Missing"), std::nullopt);

  // Stored as REG_SZ with its terminating zero.
  DWORD type = 0, bytes = 0;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Tesmuro unit tests\\Run \u8FD0\u884C", L"Quorlin",
                         RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &bytes),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bytes, (wcslen(L"\"C:\\\u6211\u7684 \u5DE5\u5177\\Tesmuro.exe\"") + 1) * sizeof(wchar_t));

  // Data of another type reads as empty; data stored without its zero reads whole.
  const DWORD number = 7;
  RegSetValueExW(reinterpret_cast<HKEY>(key), L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                 sizeof number);
  EXPECT_EQ(reg.ReadString(key, "Number"), "");
  RegSetValueExW(reinterpret_cast<HKEY>(key), L"Bare", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abc"),
                 3 * sizeof(wchar_t));
  EXPECT_EQ(reg.ReadString(key, "Bare"), "abc");

  EXPECT_TRUE(reg.DeleteValue(key, "Quorlin"));
  EXPECT_EQ(reg.ReadString(key, "Quorlin"), std::nullopt);
  EXPECT_TRUE(reg.DeleteValue(key, "Quorlin")) << "a value that is not there counts as deleted";
  reg.CloseKey(key);

  ASSERT_TRUE(reg.OpenKey(kUser, kPath, Access::Read, key));
  EXPECT_EQ(reg.ReadString(key, "Bare"), "abc");
  reg.CloseKey(key);
}

TEST(WinExePath, IsTheRunningProgramsFullPath) {
  const std::string path = ExePath();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(path[1], ':');
  const std::string name = "\\tesmuro_win_tests.exe";
  ASSERT_GT(path.size(), name.size());
  EXPECT_EQ(path.substr(path.size() - name.size()), name);
}

}  // namespace
}  // namespace tesmuro::win
#endif
