// tesmuro_probe.dll: loaded by the driver into a process under test (CreateRemoteThread +
// LoadLibraryW) to read things that Wine does not let another process read, such as menus.
// It does nothing when loaded; the driver calls its entry on a remote thread and unloads it.
#include "menu_walk.h"
#include "probe_protocol.h"

extern "C" __declspec(dllexport) DWORD WINAPI tesmuro_probe_menu(void* param) {
  auto* block = static_cast<probe::MenuBlock*>(param);
  if (!block || block->magic != probe::kMagic) return probe::kBadBlock;
  HMENU menu = GetMenu(block->hwnd);
  if (!menu || !IsMenu(menu)) {
    block->length = 0;
    block->status = probe::kNoMenu;
    return probe::kNoMenu;
  }
  menu_walk::Sink sink{block->text, block->capacity, 0, false};
  menu_walk::walk(menu, 0, sink);
  block->text[sink.len] = 0;
  block->length = sink.len;
  block->status = sink.overflow ? probe::kOverflow : probe::kOk;
  return static_cast<DWORD>(block->status);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
