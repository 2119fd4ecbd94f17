// tesmuro_registry_lock.exe: takes the right to change a registry key from everyone, or gives it
// back, so that a test can see what a program does where a user may read a key but not write it
// (as a user without administrator rights meets the local machine's keys).
//
//   tesmuro_registry_lock read-only|writable HKLM|HKCU PATH
// Exit status: 0 done, 1 failed, 2 bad usage.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fwprintf(stderr, L"usage: tesmuro_registry_lock read-only|writable HKLM|HKCU PATH\n");
    return 2;
  }
  const bool readOnly = std::wcscmp(argv[1], L"read-only") == 0;
  if (!readOnly && std::wcscmp(argv[1], L"writable") != 0) return 2;
  HKEY hive;
  if (std::wcscmp(argv[2], L"HKLM") == 0) hive = HKEY_LOCAL_MACHINE;
  else if (std::wcscmp(argv[2], L"HKCU") == 0) hive = HKEY_CURRENT_USER;
  else return 2;

  // Everyone may read the key, or do everything with it.
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(readOnly ? L"D:(A;;KR;;;WD)" : L"D:(A;;KA;;;WD)",
                                                            SDDL_REVISION_1, &sd, nullptr)) {
    std::fwprintf(stderr, L"registry_lock: no security descriptor (%lu)\n", GetLastError());
    return 1;
  }
  HKEY key;
  LONG r = RegOpenKeyExW(hive, argv[3], 0, WRITE_DAC, &key);
  if (r == ERROR_SUCCESS) {
    r = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
    RegCloseKey(key);
  }
  LocalFree(sd);
  if (r != ERROR_SUCCESS) {
    std::fwprintf(stderr, L"registry_lock: cannot change %ls\\%ls (%ld)\n", argv[2], argv[3], r);
    return 1;
  }
  return 0;
}
