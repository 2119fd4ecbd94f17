// AlphaBlend for the editing component, from the system folder's msimg32.dll.
//
// The component calls AlphaBlend through the import slot __imp__AlphaBlend@44.
// Linking msimg32 would make the loader look for msimg32.dll beside the
// program first (it is not one of the system's known DLLs), so the program
// fills that slot itself: the first call loads the system's copy and every
// later call goes straight to it. Without the library, nothing is blended.
#include <windows.h>

#include <atomic>

#include "os/system_library_win.h"

namespace {

using AlphaBlendFn = BOOL(WINAPI*)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);

BOOL WINAPI NoAlphaBlend(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION) { return FALSE; }

BOOL WINAPI FirstAlphaBlend(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                            BLENDFUNCTION blend);

}  // namespace

// The import slot, named as the linker looks for it.
extern "C" {
AlphaBlendFn tesmuro_alpha_blend_slot __asm__("__imp__AlphaBlend@44") = &FirstAlphaBlend;
}

namespace {

BOOL WINAPI FirstAlphaBlend(HDC dst, int x, int y, int w, int h, HDC src, int sx, int sy, int sw, int sh,
                            BLENDFUNCTION blend) {
  AlphaBlendFn fn = &NoAlphaBlend;
  if (HMODULE lib = tesmuro::win::LoadSystemLibrary(L"msimg32.dll"))
    if (FARPROC p = GetProcAddress(lib, "AlphaBlend")) fn = reinterpret_cast<AlphaBlendFn>(reinterpret_cast<void*>(p));
  // Painting happens on the window's thread; a second thread at worst loads
  // the library once more, which the loader counts.
  std::atomic_ref<AlphaBlendFn>(tesmuro_alpha_blend_slot).store(fn);
  return fn(dst, x, y, w, h, src, sx, sy, sw, sh, blend);
}

}  // namespace

namespace tesmuro::editor {
// Called by the script box, so that this file is linked wherever the
// component is.
void UseSystemAlphaBlend() {}
}  // namespace tesmuro::editor
