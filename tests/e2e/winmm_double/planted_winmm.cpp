// planted/winmm.dll: a stand-in for a library that someone plants beside a program. Loaded into a
// process, it writes planted-winmm-loaded.txt (holding the process's program path) in its own
// folder. It exports the winmm functions the program uses, so that a program importing winmm.dll
// would load with it; each of them answers as winmm does without a driver.
#include <windows.h>
#include <mmsystem.h>

namespace {

void WriteMarker(HINSTANCE self) {
  wchar_t path[MAX_PATH + 32];
  const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  wchar_t* slash = path + n;
  while (slash > path && slash[-1] != L'\\' && slash[-1] != L'/') --slash;
  lstrcpyW(slash, L"planted-winmm-loaded.txt");
  const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char program[MAX_PATH * 3];
  const DWORD len = GetModuleFileNameA(nullptr, program, sizeof program);
  DWORD written = 0;
  WriteFile(file, program, len, &written, nullptr);
  CloseHandle(file);
}

}  // namespace

extern "C" {

MMRESULT WINAPI pl_joySetCapture(HWND, UINT, UINT, BOOL) { return MMSYSERR_NODRIVER; }
MMRESULT WINAPI pl_joyReleaseCapture(UINT) { return MMSYSERR_NODRIVER; }
UINT WINAPI pl_joyGetNumDevs() { return 0; }
MMRESULT WINAPI pl_joyGetPosEx(UINT, JOYINFOEX*) { return MMSYSERR_NODRIVER; }
MMRESULT WINAPI pl_joyGetDevCapsA(UINT_PTR, JOYCAPSA*, UINT) { return MMSYSERR_NODRIVER; }
MMRESULT WINAPI pl_timeBeginPeriod(UINT) { return TIMERR_NOCANDO; }
MMRESULT WINAPI pl_timeEndPeriod(UINT) { return TIMERR_NOCANDO; }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    WriteMarker(instance);
  }
  return TRUE;
}

}  // extern "C"
