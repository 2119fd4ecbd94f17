// The multimedia functions the program uses (game controllers, timer
// resolution), taken from the system folder's winmm.dll at their first use
// instead of being imported: an imported winmm.dll, not being one of the
// system's known DLLs, would be looked for beside the program first.
// Where the library or a function is missing the calls answer as the system
// does without a driver: no devices, MMSYSERR_NODRIVER, TIMERR_NOCANDO.
#pragma once

#include <windows.h>
#include <mmsystem.h>

namespace tesmuro::win::winmm {

// Loads the library and looks the functions up now rather than at their
// first use (the entry point does, so that the library is in place from the
// start as an imported one would be). Safe to call more than once.
void Load();

MMRESULT JoySetCapture(HWND window, UINT id, UINT periodMs, BOOL changedOnly);
MMRESULT JoyReleaseCapture(UINT id);
UINT JoyGetNumDevs();
MMRESULT JoyGetPosEx(UINT id, JOYINFOEX* info);
MMRESULT JoyGetDevCapsA(UINT_PTR id, JOYCAPSA* caps, UINT size);
MMRESULT TimeBeginPeriod(UINT periodMs);
MMRESULT TimeEndPeriod(UINT periodMs);

}  // namespace tesmuro::win::winmm
