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
