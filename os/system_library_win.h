// Libraries from the system folder only. A library that is not one of the
// system's known DLLs is otherwise looked for in the program's own folder
// first, where anyone who can write there could plant a copy that runs with
// the user's rights.
#pragma once

#include <windows.h>

namespace tesmuro::win {

// Limits where the process's later library loads look to the system folder
// (SetDefaultDllDirectories, looked up at run time: Windows 7 has it only
// with its update KB2533623). Without it, the current folder at least is
// taken out of the search. The entry point calls this first.
void RestrictLibrarySearch();

// Loads a system library (a bare file name such as L"winmm.dll") from the
// system folder, never from the program's folder or the search path;
// nullptr when it can't be loaded.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace tesmuro::win
