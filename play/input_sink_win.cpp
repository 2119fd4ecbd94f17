#include <windows.h>

#include "play/input_sink.h"

namespace tesmuro::play {

namespace {

class WinInputSink final : public IInputSink {
 public:
  void SetCursorPos(int32_t x, int32_t y) override { ::SetCursorPos(x, y); }

  void MouseEvent(uint32_t flags, int32_t dx, int32_t dy, int32_t data, uintptr_t extra) override {
    ::mouse_event(flags, static_cast<DWORD>(dx), static_cast<DWORD>(dy), static_cast<DWORD>(data),
                  static_cast<ULONG_PTR>(extra));
  }

  void KeybdEvent(uint8_t vk, uint8_t scan, uint32_t flags, uintptr_t extra) override {
    ::keybd_event(vk, scan, flags, static_cast<ULONG_PTR>(extra));
  }

  void PostBroadcast(uint32_t msg, uintptr_t wParam, intptr_t lParam) override {
    ::PostMessageA(HWND_BROADCAST, msg, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
  }

  void SendHardwareInput(uint32_t msg, uint16_t paramLow, uint16_t paramHigh) override {
    INPUT input{};
    input.type = INPUT_HARDWARE;
    input.hi.uMsg = msg;
    input.hi.wParamL = paramLow;
    input.hi.wParamH = paramHigh;
    ::SendInput(1, &input, sizeof(INPUT));
  }
};

}  // namespace

IInputSink& SystemInputSink() {
  // Never destroyed: a player thread left to end on its own may still use it
  // while the process exits.
  static auto* const sink = new WinInputSink;
  return *sink;
}

}  // namespace tesmuro::play
