// The native (non-Windows) build's system services: the player runs and keeps
// its timing, but injects nothing and can shut nothing down.
#include <memory>

#include "play/input_sink.h"
#include "play/play_clock.h"
#include "play/shutdown.h"

namespace tesmuro::play {

namespace {

class NullInputSink final : public IInputSink {
 public:
  void SetCursorPos(int32_t, int32_t) override {}
  void MouseEvent(uint32_t, int32_t, int32_t, int32_t, uintptr_t) override {}
  void KeybdEvent(uint8_t, uint8_t, uint32_t, uintptr_t) override {}
  void PostBroadcast(uint32_t, uintptr_t, intptr_t) override {}
  void SendHardwareInput(uint32_t, uint16_t, uint16_t) override {}
};

class NoShutdownRequester final : public IShutdownRequester {
 public:
  bool OpenProcessToken(uint32_t, Token&) override { return false; }
  bool LookupPrivilegeValue(const char*, Luid&) override { return false; }
  bool AdjustTokenPrivileges(Token, const Luid&, uint32_t) override { return false; }
  uint32_t LastError() override { return 1; }
  bool ExitWindowsEx(uint32_t, uint32_t) override { return false; }
  void CloseToken(Token) override {}
};

}  // namespace

// Never destroyed: a player thread left to end on its own may still use them
// while the process exits.
IInputSink& SystemInputSink() {
  static auto* const sink = new NullInputSink;
  return *sink;
}

IShutdownRequester& SystemShutdownRequester() {
  static auto* const requester = new NoShutdownRequester;
  return *requester;
}

std::unique_ptr<IPlayClock> CreateSystemPlayClock() { return std::make_unique<SteadyPlayClock>(); }

}  // namespace tesmuro::play
