// Libraries from the system folder only (Windows build only).
#ifdef _WIN32
#include <gtest/gtest.h>

#include <string>

#include "os/system_library_win.h"
#include "os/winmm_win.h"
#include "support/temp_dir.h"

namespace tesmuro::win {
namespace {

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(towlower(c));
  return s;
}

std::wstring SystemFolder() {
  wchar_t buf[MAX_PATH];
  const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
  return Lower(std::wstring(buf, n));
}

std::wstring FolderOf(HMODULE m) {
  wchar_t buf[MAX_PATH];
  std::wstring path(buf, GetModuleFileNameW(m, buf, MAX_PATH));
  return Lower(path.substr(0, path.find_last_of(L"\\/")));
}

TEST(SystemLibrary, ComesFromTheSystemFolderAndTheWinmmFunctionsAreThere) {
  const HMODULE winmm = LoadSystemLibrary(L"winmm.dll");
  ASSERT_NE(winmm, nullptr);
  EXPECT_EQ(FolderOf(winmm), SystemFolder());
  EXPECT_EQ(LoadSystemLibrary(L"no-such-library-of-tesmuro.dll"), nullptr);

  // The calls reach winmm.dll (a missing function would answer TIMERR_NOCANDO).
  ASSERT_EQ(winmm::TimeBeginPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
  EXPECT_EQ(winmm::TimeEndPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
  JOYINFOEX info{};
  info.dwSize = sizeof info;
  info.dwFlags = JOY_RETURNALL;
  EXPECT_EQ(winmm::JoyGetPosEx(0xFFFF, &info), static_cast<MMRESULT>(JOYERR_PARMS)) << "an id no system knows";
}

// Last in this file, as it changes the search of the whole test process for good.
TEST(SystemLibrary, AfterTheRestrictionALibraryInTheCurrentFolderIsNotFound) {
  // A library that exists only in the current folder: a copy of one of the system's own.
  test::TempDir dir;
  const std::wstring copy = std::filesystem::u8path(dir.File("tesmuro-search-probe.dll")).wstring();
  ASSERT_TRUE(CopyFileW((SystemFolder() + L"\\winmm.dll").c_str(), copy.c_str(), FALSE));
  wchar_t before[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);
  ASSERT_TRUE(SetCurrentDirectoryW(std::filesystem::u8path(dir.Str()).wstring().c_str()));

  HMODULE found = LoadLibraryW(L"tesmuro-search-probe.dll");
  EXPECT_NE(found, nullptr) << "the ordinary search looks in the current folder";
  if (found) FreeLibrary(found);

  RestrictLibrarySearch();
  found = LoadLibraryW(L"tesmuro-search-probe.dll");
  EXPECT_EQ(found, nullptr) << "the restricted search looked beyond the system folder";
  if (found) FreeLibrary(found);
  SetCurrentDirectoryW(before);
}

}  // namespace
}  // namespace tesmuro::win
#endif
