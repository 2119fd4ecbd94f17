// The player's input on X11, through the XTEST extension: each action goes
// out at once (CurrentTime, never XTest's own delay) and is flushed.
//
// Keys: a letter (virtual keys A..Z) is pressed where the current layout has
// it; any other key by its recorded scan code and extended bit, else by its
// virtual key, through the PC keyboard table (os/pc_keyboard.h). A key that
// has no X keycode is told once (per virtual key) and skipped. The wheel
// turns in notches (buttons 4/5, 6/7 for the horizontal wheel; turns smaller
// than a notch add up). Controller words cannot act here: each kind is told
// once and skipped.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "play/injection_log.h"
#include "play/input_sink.h"

typedef struct _XDisplay Display;

namespace tesmuro::play {

// The X screen as a script's screen line gives it: the root window's size in
// pixels and the desktop's DPI setting (the Xft.dpi resource that desktops
// set for their scaling, as Windows gives its DPI setting; 96 without one).
ScreenRect X11Screen(Display* display);
// The DPI that the resources give ("Xft.dpi: 120" on a line of its own), 96
// without a sane one.
int32_t DesktopDpi(std::string_view resources);

class X11InputSink final : public IInputSink {
 public:
  // `display` is used by the player's thread only and outlives the sink;
  // `log` (may be null) is told every key sent; `notice` gets UTF-8 messages.
  X11InputSink(Display* display, InjectionLog* log, std::function<void(const std::string&)> notice);

  void MoveTo(int32_t x, int32_t y) override;
  void MoveBy(int32_t dx, int32_t dy) override;
  // The place a button or wheel carries is where the run's last move put the
  // pointer already: the server takes XTest's events in the order they are
  // sent, so a button right after a move acts at the new point.
  void Button(MouseButton button, bool down, std::optional<PointerPlace> at) override;
  void Wheel(WheelAxis axis, int32_t turn, int32_t a, int32_t b, std::optional<PointerPlace> at) override;
  void Key(const KeyStroke& key) override;
  void ControllerMove(uint16_t x, uint16_t y, ControllerDelivery how) override;
  void ControllerButtons(uint32_t buttons, ControllerDelivery how) override;
  ScreenRect Screen() override;
  IDesktop* Desktop() override { return desktop_.get(); }
  // The desktop the player's waits look at (used on the player's thread; may
  // be null: window lines are then skipped).
  void UseDesktop(std::shared_ptr<IDesktop> desktop) { desktop_ = std::move(desktop); }

  // The X keycode a key goes out as, 0 for none.
  uint32_t KeycodeFor(const KeyStroke& key);

 private:
  void Notice(const std::string& text);

  Display* display_;
  InjectionLog* log_;
  std::shared_ptr<IDesktop> desktop_;
  std::function<void(const std::string&)> notice_;
  int minKeycode_ = 8, maxKeycode_ = 255;
  int32_t wheelRest_[2] = {0, 0};
  std::set<uint8_t> toldKeys_;
  bool toldControllerMove_ = false;
  bool toldControllerButtons_ = false;
};

}  // namespace tesmuro::play
