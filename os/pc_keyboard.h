// The PC keyboard as both editions see it: for each physical key, its Linux
// input (evdev) code, the Windows virtual key a US layout gives it, and the
// set-1 scan code with the extended (E0) bit that the Windows keyboard hook
// reports. An X server numbers the same key evdev code + 8.
//
// One table serves both ways: the X11 recorder turns a key it sees into the
// virtual key and scan code of a Windows recording, and the X11 player turns
// a script's key back into the key to press.
#pragma once

#include <cstdint>
#include <optional>

namespace tesmuro::os {

struct PcKey {
  uint16_t evdev = 0;     // Linux input event code (KEY_*)
  uint8_t vk = 0;         // Windows virtual key (US layout)
  uint16_t scan = 0;      // set-1 scan code without the E0 prefix
  bool extended = false;  // E0 prefix: arrows, Insert, right Ctrl, ...
};

inline constexpr uint16_t kXKeycodeOffset = 8;  // X keycode = evdev code + 8

// The key of an evdev code; none for a key the table does not hold.
std::optional<PcKey> KeyByEvdev(uint16_t evdev);

// The key with this scan code and extended bit; none if unknown or scan is 0.
std::optional<PcKey> KeyByScan(uint16_t scan, bool extended);

// The key a virtual key stands for. The generic Shift, Ctrl and Alt keys stand
// for the left ones, or the right ones when `extended` is set (as Windows
// takes them); Cancel (Ctrl+Break) stands for the Pause key. Where a virtual
// key has two keys (Enter and the keypad's Enter), `extended` picks the E0 one.
std::optional<PcKey> KeyByVk(uint8_t vk, bool extended);

// The scan code and extended bit the keyboard hook reports for a key, from
// the keyboard layout's answer for its virtual key (the E0/E1 prefix in the
// high byte: MapVirtualKey's MAPVK_VK_TO_VSC_EX). Pause is the one E1 key:
// the layout gives the start of its sequence (E1 1D, which would be right
// Ctrl as a scan code), the hook reports 45 without the extended bit.
struct ScanCode {
  uint16_t scan = 0;
  bool extended = false;
};
ScanCode ScanCodeFromLayout(uint32_t layoutScanCode);

// Virtual keys of the keys whose meaning follows the keyboard layout (the
// letters A..Z): the X side looks them up by their symbol first.
inline bool IsLayoutLetter(uint8_t vk) { return vk >= 'A' && vk <= 'Z'; }

// Windows virtual keys the recorders and the hot keys single out.
inline constexpr uint8_t kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12;
inline constexpr uint8_t kVkLShift = 0xA0, kVkRShift = 0xA1, kVkLControl = 0xA2, kVkRControl = 0xA3,
                         kVkLMenu = 0xA4, kVkRMenu = 0xA5;
inline constexpr uint8_t kVkPause = 0x13, kVkCancel = 0x03, kVkF10 = 0x79;

// The extra information the player's own key events carry, so that the
// keyboard hook can tell them from every other program's: a played key never
// runs a hot key.
inline constexpr uint32_t kPlayerInputTag = 0x544D5352;  // "TMSR"

// The numeric keypad without NumLock: the virtual key Windows reports for a
// keypad key when NumLock is off (Home for 7, ...), or 0 when it does not change.
uint8_t KeypadVkWithoutNumLock(uint16_t evdev);

}  // namespace tesmuro::os
