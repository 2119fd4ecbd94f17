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
//
// Typed characters: X has no event that carries a character, so each one's
// keysym (its own for Latin-1, 0x01000000 + the code point otherwise) is
// bound for the text to a keycode the keyboard leaves empty, pressed and
// released there, and the keycodes are emptied again when the text is over.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <map>
#include <set>
#include <vector>
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
  void TypeCharacter(char32_t codePoint) override;
  void PrepareTyping(const std::u32string& characters) override;
  void EndTyping() override;
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
  // The keycode the character is bound to for this text, binding it to a
  // spare one first if needed; 0 when there is none.
  uint32_t Bind(char32_t cp);

  Display* display_;
  InjectionLog* log_;
  std::shared_ptr<IDesktop> desktop_;
  std::function<void(const std::string&)> notice_;
  int minKeycode_ = 8, maxKeycode_ = 255;
  int32_t wheelRest_[2] = {0, 0};
  std::set<uint8_t> toldKeys_;
  // Keycodes with no keysym at all, found at the first typed character, and
  // the characters bound to them for the text being typed (the next one to
  // take when a new character comes: round the list).
  std::optional<std::vector<uint32_t>> spare_;
  std::map<char32_t, uint32_t> bound_;
  size_t nextSpare_ = 0;
  bool toldNoSpare_ = false;
  bool toldControllerMove_ = false;
  bool toldControllerButtons_ = false;
};

}  // namespace tesmuro::play
