#include "play/input_sink_x11.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>
#include <time.h>

#include <cmath>
#include <string>
#include <string_view>

#include "os/monotonic_posix.h"
#include "os/pc_keyboard.h"

namespace tesmuro::play {

namespace {

unsigned XButtonOf(MouseButton b) {
  switch (b) {
    case MouseButton::Left: return 1;
    case MouseButton::Middle: return 2;
    case MouseButton::Right: return 3;
    case MouseButton::X1: return 8;
    case MouseButton::X2: return 9;
  }
  return 1;
}
}  // namespace

X11InputSink::X11InputSink(Display* display, InjectionLog* log,
                           std::function<void(const std::string&)> notice)
    : display_(display), log_(log), notice_(std::move(notice)) {
  XDisplayKeycodes(display_, &minKeycode_, &maxKeycode_);
}

void X11InputSink::Notice(const std::string& text) {
  if (notice_) notice_(text);
}

void X11InputSink::MoveTo(int32_t x, int32_t y) {
  XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
  XFlush(display_);
}

void X11InputSink::MoveBy(int32_t dx, int32_t dy) {
  XTestFakeRelativeMotionEvent(display_, dx, dy, CurrentTime);
  XFlush(display_);
}

void X11InputSink::Button(MouseButton button, bool down, std::optional<PointerPlace>) {
  XTestFakeButtonEvent(display_, XButtonOf(button), down ? True : False, CurrentTime);
  XFlush(display_);
}

void X11InputSink::Wheel(WheelAxis axis, int32_t turn, int32_t, int32_t, std::optional<PointerPlace>) {
  int32_t& rest = wheelRest_[axis == WheelAxis::Vertical ? 0 : 1];
  rest += turn;
  const int32_t notches = rest / 120;
  rest -= notches * 120;
  if (notches == 0) return;
  unsigned button;
  if (axis == WheelAxis::Vertical)
    button = notches > 0 ? 4 : 5;  // away from the user: up
  else
    button = notches > 0 ? 7 : 6;  // to the right
  for (int32_t i = 0; i < std::abs(notches); ++i) {
    XTestFakeButtonEvent(display_, button, True, CurrentTime);
    XTestFakeButtonEvent(display_, button, False, CurrentTime);
  }
  XFlush(display_);
}

uint32_t X11InputSink::KeycodeFor(const KeyStroke& key) {
  uint32_t code = 0;
  if (os::IsLayoutLetter(key.vk)) code = XKeysymToKeycode(display_, XK_a + (key.vk - 'A'));
  if (code == 0 && key.scan != 0 && !(key.vk == os::kVkCancel)) {
    if (auto k = os::KeyByScan(key.scan, key.extended)) code = k->evdev + os::kXKeycodeOffset;
  }
  if (code == 0) {
    if (auto k = os::KeyByVk(key.vk, key.extended)) code = k->evdev + os::kXKeycodeOffset;
  }
  if (code < static_cast<uint32_t>(minKeycode_) || code > static_cast<uint32_t>(maxKeycode_)) return 0;
  return code;
}

void X11InputSink::Key(const KeyStroke& key) {
  const uint32_t code = KeycodeFor(key);
  if (code == 0) {
    if (toldKeys_.insert(key.vk).second)
      Notice("按键 " + std::to_string(key.vk) + " 在 X 中没有对应的键，已跳过。");
    return;
  }
  if (log_) log_->NoteKey(code, !key.up, os::MonotonicMicros());
  XTestFakeKeyEvent(display_, code, key.up ? False : True, CurrentTime);
  XFlush(display_);
}

namespace {
// The keysym X gives a character: Latin-1 characters have their own, equal
// to the code point; every other one is 0x01000000 + the code point.
KeySym CharacterKeysym(char32_t cp) {
  if ((cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xFF)) return cp;
  return 0x01000000 + cp;
}
}  // namespace

uint32_t X11InputSink::Bind(char32_t cp) {
  if (!spare_) {
    spare_.emplace();
    int perCode = 0;
    const int count = maxKeycode_ - minKeycode_ + 1;
    if (KeySym* map = XGetKeyboardMapping(display_, static_cast<KeyCode>(minKeycode_), count, &perCode)) {
      for (int i = 0; i < count; ++i) {
        bool empty = true;
        for (int j = 0; j < perCode && empty; ++j) empty = map[i * perCode + j] == NoSymbol;
        if (empty) spare_->push_back(static_cast<uint32_t>(minKeycode_ + i));
      }
      XFree(map);
    }
  }
  if (spare_->empty()) {
    if (!toldNoSpare_) Notice("键盘上没有空闲的键码，“输入文本”无法输入字符，已跳过。");
    toldNoSpare_ = true;
    return 0;
  }
  if (auto it = bound_.find(cp); it != bound_.end()) return it->second;
  // A character new to this text takes the next spare keycode. Only a text
  // of more distinct characters than there are spare keycodes binds one
  // again; the server has then taken the earlier press (XSync in
  // TypeCharacter).
  const uint32_t code = (*spare_)[nextSpare_];
  nextSpare_ = (nextSpare_ + 1) % spare_->size();
  for (auto b = bound_.begin(); b != bound_.end(); ++b)
    if (b->second == code) {
      bound_.erase(b);
      break;
    }
  bound_[cp] = code;
  // Both levels the same keysym, so that Shift or Caps Lock changes nothing
  // and a capital letter is not taken for the lower case one.
  KeySym syms[2] = {CharacterKeysym(cp), CharacterKeysym(cp)};
  XChangeKeyboardMapping(display_, static_cast<int>(code), 2, syms, 1);
  return code;
}

// Clients take a mapping change in as they read their events, and one that
// comes between the presses of a text can be missed; the characters are
// bound before the first press goes out, as many as there are spare keycodes.
void X11InputSink::PrepareTyping(const std::u32string& characters) {
  for (char32_t cp : characters) {
    if (bound_.size() >= (spare_ ? spare_->size() : SIZE_MAX)) break;
    if (Bind(cp) == 0) return;
  }
  XSync(display_, False);
}

void X11InputSink::TypeCharacter(char32_t cp) {
  const uint32_t code = Bind(cp);
  if (code == 0) return;
  const int64_t now = os::MonotonicMicros();
  if (log_) log_->NoteKey(code, true, now);
  XTestFakeKeyEvent(display_, code, True, CurrentTime);
  if (log_) log_->NoteKey(code, false, now);
  XTestFakeKeyEvent(display_, code, False, CurrentTime);
  XSync(display_, False);
}

void X11InputSink::EndTyping() {
  if (bound_.empty()) return;
  XSync(display_, False);
  // A client looks a keycode's keysym up when it reads the press, from the
  // mapping it fetches after the change was announced: the bindings stay
  // a moment longer, so that a client a little behind still reads the
  // characters, not the emptied keys.
  const timespec settle{0, 50 * 1000 * 1000};
  nanosleep(&settle, nullptr);
  KeySym none[2] = {NoSymbol, NoSymbol};
  for (const auto& [cp, code] : bound_) XChangeKeyboardMapping(display_, static_cast<int>(code), 2, none, 1);
  bound_.clear();
  nextSpare_ = 0;
  XSync(display_, False);
}

void X11InputSink::ControllerMove(uint16_t, uint16_t, ControllerDelivery) {
  if (!toldControllerMove_) Notice("“摇杆运动”在 Linux 上无法回放（没有手柄设备），已跳过。");
  toldControllerMove_ = true;
}

void X11InputSink::ControllerButtons(uint32_t, ControllerDelivery) {
  if (!toldControllerButtons_) Notice("“摇杆按钮按下”在 Linux 上无法回放（没有手柄设备），已跳过。");
  toldControllerButtons_ = true;
}

int32_t DesktopDpi(std::string_view all) {
  constexpr std::string_view kName = "Xft.dpi:";
  for (size_t at = all.find(kName); at != std::string_view::npos; at = all.find(kName, at + 1)) {
    if (at != 0 && all[at - 1] != '\n') continue;
    size_t i = at + kName.size();
    while (i < all.size() && (all[i] == ' ' || all[i] == '\t')) ++i;
    int32_t dpi = 0;
    size_t digits = 0;
    for (; i < all.size() && all[i] >= '0' && all[i] <= '9' && digits < 6; ++i, ++digits) dpi = dpi * 10 + (all[i] - '0');
    return digits > 0 && dpi >= 24 && dpi <= 2400 ? dpi : 96;
  }
  return 96;
}

ScreenRect X11Screen(Display* display) {
  const int s = DefaultScreen(display);
  ScreenRect r;
  r.width = DisplayWidth(display, s);
  r.height = DisplayHeight(display, s);
  // The resources the desktop loaded into the server.
  const char* resources = XResourceManagerString(display);
  r.dpi = DesktopDpi(resources ? resources : "");
  return r;
}

ScreenRect X11InputSink::Screen() { return X11Screen(display_); }

}  // namespace tesmuro::play
