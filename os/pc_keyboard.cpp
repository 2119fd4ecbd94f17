#include "os/pc_keyboard.h"

#include <array>

namespace tesmuro::os {
namespace {

constexpr bool E = true;

// evdev code, virtual key, scan code, extended.
constexpr PcKey kKeys[] = {
    {1, 0x1B, 0x01, false},    // Esc
    {2, '1', 0x02, false},     {3, '2', 0x03, false},  {4, '3', 0x04, false},  {5, '4', 0x05, false},
    {6, '5', 0x06, false},     {7, '6', 0x07, false},  {8, '7', 0x08, false},  {9, '8', 0x09, false},
    {10, '9', 0x0A, false},    {11, '0', 0x0B, false},
    {12, 0xBD, 0x0C, false},   // - _
    {13, 0xBB, 0x0D, false},   // = +
    {14, 0x08, 0x0E, false},   // Backspace
    {15, 0x09, 0x0F, false},   // Tab
    {16, 'Q', 0x10, false},    {17, 'W', 0x11, false}, {18, 'E', 0x12, false}, {19, 'R', 0x13, false},
    {20, 'T', 0x14, false},    {21, 'Y', 0x15, false}, {22, 'U', 0x16, false}, {23, 'I', 0x17, false},
    {24, 'O', 0x18, false},    {25, 'P', 0x19, false},
    {26, 0xDB, 0x1A, false},   // [
    {27, 0xDD, 0x1B, false},   // ]
    {28, 0x0D, 0x1C, false},   // Enter
    {29, kVkLControl, 0x1D, false},
    {30, 'A', 0x1E, false},    {31, 'S', 0x1F, false}, {32, 'D', 0x20, false}, {33, 'F', 0x21, false},
    {34, 'G', 0x22, false},    {35, 'H', 0x23, false}, {36, 'J', 0x24, false}, {37, 'K', 0x25, false},
    {38, 'L', 0x26, false},
    {39, 0xBA, 0x27, false},   // ;
    {40, 0xDE, 0x28, false},   // '
    {41, 0xC0, 0x29, false},   // `
    {42, kVkLShift, 0x2A, false},
    {43, 0xDC, 0x2B, false},   // backslash
    {44, 'Z', 0x2C, false},    {45, 'X', 0x2D, false}, {46, 'C', 0x2E, false}, {47, 'V', 0x2F, false},
    {48, 'B', 0x30, false},    {49, 'N', 0x31, false}, {50, 'M', 0x32, false},
    {51, 0xBC, 0x33, false},   // ,
    {52, 0xBE, 0x34, false},   // .
    {53, 0xBF, 0x35, false},   // /
    {54, kVkRShift, 0x36, false},
    {55, 0x6A, 0x37, false},   // keypad *
    {56, kVkLMenu, 0x38, false},
    {57, 0x20, 0x39, false},   // Space
    {58, 0x14, 0x3A, false},   // Caps Lock
    {59, 0x70, 0x3B, false},   {60, 0x71, 0x3C, false}, {61, 0x72, 0x3D, false}, {62, 0x73, 0x3E, false},
    {63, 0x74, 0x3F, false},   {64, 0x75, 0x40, false}, {65, 0x76, 0x41, false}, {66, 0x77, 0x42, false},
    {67, 0x78, 0x43, false},   {68, 0x79, 0x44, false},  // F1..F10
    {69, 0x90, 0x45, E},       // Num Lock
    {70, 0x91, 0x46, false},   // Scroll Lock
    {71, 0x67, 0x47, false},   {72, 0x68, 0x48, false}, {73, 0x69, 0x49, false},  // keypad 7 8 9
    {74, 0x6D, 0x4A, false},   // keypad -
    {75, 0x64, 0x4B, false},   {76, 0x65, 0x4C, false}, {77, 0x66, 0x4D, false},  // keypad 4 5 6
    {78, 0x6B, 0x4E, false},   // keypad +
    {79, 0x61, 0x4F, false},   {80, 0x62, 0x50, false}, {81, 0x63, 0x51, false},  // keypad 1 2 3
    {82, 0x60, 0x52, false},   // keypad 0
    {83, 0x6E, 0x53, false},   // keypad .
    {86, 0xE2, 0x56, false},   // the 102nd key (< > beside left Shift)
    {87, 0x7A, 0x57, false},   {88, 0x7B, 0x58, false},  // F11, F12
    {96, 0x0D, 0x1C, E},       // keypad Enter
    {97, kVkRControl, 0x1D, E},
    {98, 0x6F, 0x35, E},       // keypad /
    {99, 0x2C, 0x37, E},       // Print Screen
    {100, kVkRMenu, 0x38, E},
    {102, 0x24, 0x47, E},      // Home
    {103, 0x26, 0x48, E},      // Up
    {104, 0x21, 0x49, E},      // Page Up
    {105, 0x25, 0x4B, E},      // Left
    {106, 0x27, 0x4D, E},      // Right
    {107, 0x23, 0x4F, E},      // End
    {108, 0x28, 0x50, E},      // Down
    {109, 0x22, 0x51, E},      // Page Down
    {110, 0x2D, 0x52, E},      // Insert
    {111, 0x2E, 0x53, E},      // Delete
    {113, 0xAD, 0x20, E},      // Mute
    {114, 0xAE, 0x2E, E},      // Volume Down
    {115, 0xAF, 0x30, E},      // Volume Up
    {119, kVkPause, 0x45, false},  // Pause
    {122, 0x15, 0x72, false},  // Hangeul
    {123, 0x19, 0x71, false},  // Hanja
    {125, 0x5B, 0x5B, E},      // left Windows key
    {126, 0x5C, 0x5C, E},      // right Windows key
    {127, 0x5D, 0x5D, E},      // Menu (Apps)
    {163, 0xB0, 0x19, E},      // next track
    {164, 0xB3, 0x22, E},      // play/pause
    {165, 0xB1, 0x10, E},      // previous track
    {166, 0xB2, 0x24, E},      // stop
    {183, 0x7C, 0x64, false},  {184, 0x7D, 0x65, false}, {185, 0x7E, 0x66, false}, {186, 0x7F, 0x67, false},
    {187, 0x80, 0x68, false},  {188, 0x81, 0x69, false}, {189, 0x82, 0x6A, false}, {190, 0x83, 0x6B, false},
    {191, 0x84, 0x6C, false},  {192, 0x85, 0x6D, false}, {193, 0x86, 0x6E, false}, {194, 0x87, 0x76, false},
};

}  // namespace

std::optional<PcKey> KeyByEvdev(uint16_t evdev) {
  for (const PcKey& k : kKeys)
    if (k.evdev == evdev) return k;
  return std::nullopt;
}

std::optional<PcKey> KeyByScan(uint16_t scan, bool extended) {
  if (scan == 0) return std::nullopt;
  for (const PcKey& k : kKeys)
    if (k.scan == scan && k.extended == extended) return k;
  return std::nullopt;
}

std::optional<PcKey> KeyByVk(uint8_t vk, bool extended) {
  switch (vk) {
    case kVkShift: vk = extended ? kVkRShift : kVkLShift; break;
    case kVkControl: vk = extended ? kVkRControl : kVkLControl; break;
    case kVkMenu: vk = extended ? kVkRMenu : kVkLMenu; break;
    case kVkCancel: vk = kVkPause; break;
    default: break;
  }
  std::optional<PcKey> other;
  for (const PcKey& k : kKeys) {
    if (k.vk != vk) continue;
    if (k.extended == extended) return k;
    if (!other) other = k;
  }
  return other;
}

uint8_t KeypadVkWithoutNumLock(uint16_t evdev) {
  switch (evdev) {
    case 71: return 0x24;  // Home
    case 72: return 0x26;  // Up
    case 73: return 0x21;  // Page Up
    case 75: return 0x25;  // Left
    case 76: return 0x0C;  // Clear
    case 77: return 0x27;  // Right
    case 79: return 0x23;  // End
    case 80: return 0x28;  // Down
    case 81: return 0x22;  // Page Down
    case 82: return 0x2D;  // Insert
    case 83: return 0x2E;  // Delete
    default: return 0;
  }
}

ScanCode ScanCodeFromLayout(uint32_t layoutScanCode) {
  switch (layoutScanCode & 0xFF00u) {
    case 0xE000: return {static_cast<uint16_t>(layoutScanCode & 0xFFu), true};
    case 0xE100: return {0x45, false};
    default: return {static_cast<uint16_t>(layoutScanCode & 0xFFu), false};
  }
}

}  // namespace tesmuro::os
