// The block the driver places in the target process for the probe library's menu reader.
#pragma once
#include <windows.h>
#include <cstdint>

namespace probe {

constexpr uint32_t kMagic = 0x42504D54;  // "TMPB"
constexpr const char* kMenuEntry = "tesmuro_probe_menu";

enum Status : int32_t { kOk = 0, kNoMenu = 1, kOverflow = 2, kBadBlock = 3 };

struct MenuBlock {
  uint32_t magic;
  HWND hwnd;          // the window whose menu bar is read
  uint32_t capacity;  // wchar_t available in text, without the terminating zero
  uint32_t length;    // wchar_t written by the probe
  int32_t status;
  wchar_t text[1];    // capacity + 1 wchar_t in the real allocation
};

}  // namespace probe
