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
  void MoveTo(int32_t, int32_t) override {}
  void MoveBy(int32_t, int32_t) override {}
  void Button(MouseButton, bool, std::optional<PointerPlace>) override {}
  void Wheel(WheelAxis, int32_t, int32_t, int32_t, std::optional<PointerPlace>) override {}
  void Key(const KeyStroke&) override {}
  void ControllerMove(uint16_t, uint16_t, ControllerDelivery) override {}
  void ControllerButtons(uint32_t, ControllerDelivery) override {}
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
