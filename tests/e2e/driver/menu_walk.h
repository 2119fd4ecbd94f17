// Serialises a window's menu bar into text, one item a line:
//   <depth> TAB <id> TAB <flags> TAB <caption> LF
// flags: P popup, S separator, D disabled or grayed, C checked, '-' none.
// Used in the driver itself when menus of other processes are readable (Windows), and inside the
// probe library that the driver loads into the target process when they are not (Wine).
#pragma once
#include <windows.h>
#include <cstdint>

namespace menu_walk {

struct Sink {
  wchar_t* buf;
  uint32_t cap;  // in wchar_t, without the terminating zero
  uint32_t len;
  bool overflow;

  void put(wchar_t c) {
    if (len < cap) buf[len++] = c; else overflow = true;
  }
  void put(const wchar_t* s) { while (*s) put(*s++); }
  void put_uint(uint32_t v) {
    wchar_t digits[12];
    int n = 0;
    do { digits[n++] = static_cast<wchar_t>(L'0' + v % 10); v /= 10; } while (v);
    while (n) put(digits[--n]);
  }
};

inline void walk(HMENU menu, uint32_t depth, Sink& out) {
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count && depth < 16; ++i) {
    wchar_t caption[512];
    caption[0] = 0;
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
    mii.dwTypeData = caption;
    mii.cch = 511;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii)) continue;
    caption[511] = 0;
    out.put_uint(depth);
    out.put(L'\t');
    out.put_uint(mii.wID);
    out.put(L'\t');
    bool any = false;
    if (mii.hSubMenu) { out.put(L'P'); any = true; }
    if (mii.fType & MFT_SEPARATOR) { out.put(L'S'); any = true; }
    if (mii.fState & (MFS_DISABLED | MFS_GRAYED)) { out.put(L'D'); any = true; }
    if (mii.fState & MFS_CHECKED) { out.put(L'C'); any = true; }
    if (!any) out.put(L'-');
    out.put(L'\t');
    if (!(mii.fType & (MFT_SEPARATOR | MFT_BITMAP | MFT_OWNERDRAW))) {
      for (const wchar_t* p = caption; *p; ++p) out.put(*p == L'\n' || *p == L'\r' ? L' ' : *p);
    }
    out.put(L'\n');
    if (mii.hSubMenu) walk(mii.hSubMenu, depth + 1, out);
  }
}

}  // namespace menu_walk
