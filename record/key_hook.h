// The keyboard recorder: a low-level keyboard hook that records key presses
// and releases while recording, and serves the three global hot keys
// whenever it is installed.
#pragma once

#include <cstdint>

#include "record/hook_recorder.h"

namespace tesmuro {

class TKeyHook : public HookRecorder {
 public:
  TKeyHook(IHookHost& host, IClock& clock)
      : HookRecorder(host, clock, &IHookHost::InstallKeyboardHook, &IHookHost::UninstallKeyboardHook) {}

  // Copies of the settings' hot keys (shortcut values: virtual key in the
  // low byte, Shift 0x2000, Ctrl 0x4000, Alt 0x8000). The switch is true at
  // program start; construction leaves it alone.
  uint16_t HotRecordKey = 0;
  uint16_t HotStartKey = 0;
  uint16_t HotStopKey = 0;
  bool HotKeysEnabled = true;
};

}  // namespace tesmuro
