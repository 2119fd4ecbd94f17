#include "record/x_input_translator.h"

#include <algorithm>
#include <cmath>

#include "os/pc_keyboard.h"

namespace tesmuro::record {

std::optional<HookEvent> XInputTranslator::Translate(const XInputEvent& e) {
  switch (e.type) {
    case kXKeyPress:
    case kXKeyRelease: return Key(e);
    case kXButtonPress:
    case kXButtonRelease:
    case kXMotionNotify: return Mouse(e);
    case kXRawMotion: return RawMotion(e);
    default: return std::nullopt;
  }
}

std::optional<HookEvent> XInputTranslator::Key(const XInputEvent& e) {
  if (e.detail < os::kXKeycodeOffset) return std::nullopt;
  const uint16_t evdev = e.detail - os::kXKeycodeOffset;
  const std::optional<os::PcKey> key = os::KeyByEvdev(evdev);
  if (!key) return std::nullopt;
  const bool down = e.type == kXKeyPress;

  // What was held before this event decides its message and flags; Alt going
  // down counts as held for its own press.
  const bool wasAlt = lAlt_ || rAlt_;
  const bool ctrl = lCtrl_ || rCtrl_;
  switch (key->vk) {
    case os::kVkLMenu: lAlt_ = down; break;
    case os::kVkRMenu: rAlt_ = down; break;
    case os::kVkLControl: lCtrl_ = down; break;
    case os::kVkRControl: rCtrl_ = down; break;
    default: break;
  }
  const bool isAlt = key->vk == os::kVkLMenu || key->vk == os::kVkRMenu;
  const bool altHeld = down ? (wasAlt || isAlt) : (isAlt ? (lAlt_ || rAlt_) : wasAlt);

  KeyHookEvent k;
  k.vk = key->vk;
  k.scanCode = key->scan;
  bool extended = key->extended;
  if (letters_[e.detail] != 0) k.vk = letters_[e.detail];
  if (!numLock_) {
    if (const uint8_t vk = os::KeypadVkWithoutNumLock(evdev)) k.vk = vk;
  }
  if (key->vk == os::kVkPause && ctrl) {  // Ctrl+Pause is Break
    k.vk = os::kVkCancel;
    k.scanCode = 0x46;
    extended = true;
  }
  if (down && key->vk == 0x90) numLock_ = !numLock_;

  const bool system = (altHeld && !ctrl) || (k.vk == os::kVkF10 && !ctrl);
  k.message = down ? (system ? kWmSysKeyDown : kWmKeyDown) : (system ? kWmSysKeyUp : kWmKeyUp);
  k.flags = (extended ? 0x01u : 0u) | (e.injected ? 0x10u : 0u) | (altHeld ? 0x20u : 0u) |
            (down ? 0u : 0x80u);
  k.time = e.time;
  k.tick = e.time;
  return HookEvent{k};
}

std::optional<HookEvent> XInputTranslator::Mouse(const XInputEvent& e) {
  MouseHookEvent m;
  m.x = e.rootX;
  m.y = e.rootY;
  m.time = e.time;
  m.tick = e.time;
  m.flags = e.injected ? 0x01u : 0u;
  const bool down = e.type == kXButtonPress;
  auto wheel = [&](uint32_t message, int16_t turn) {
    m.message = message;
    m.mouseData = static_cast<uint32_t>(static_cast<uint16_t>(turn)) << 16;
  };
  if (e.type == kXMotionNotify) {
    m.message = kWmMouseMove;
    return HookEvent{m};
  }
  switch (e.detail) {
    case 1: m.message = down ? kWmLButtonDown : kWmLButtonUp; break;
    case 2: m.message = down ? kWmMButtonDown : kWmMButtonUp; break;
    case 3: m.message = down ? kWmRButtonDown : kWmRButtonUp; break;
    case 4: if (!down) return std::nullopt; wheel(kWmMouseWheel, 120); break;
    case 5: if (!down) return std::nullopt; wheel(kWmMouseWheel, -120); break;
    case 6: if (!down) return std::nullopt; wheel(kWmMouseHWheel, -120); break;
    case 7: if (!down) return std::nullopt; wheel(kWmMouseHWheel, 120); break;
    case 8:
    case 9:
      m.message = down ? kWmXButtonDown : kWmXButtonUp;
      m.mouseData = (e.detail == 8 ? 1u : 2u) << 16;
      break;
    default: return std::nullopt;
  }
  return HookEvent{m};
}

namespace {
// A position on an axis of `min`..`max` as 0..65535; without a range the
// position is taken as pixels of the screen's `origin`..`origin + size`.
int32_t Scale65535(double v, double min, double max, int32_t origin, int32_t size) {
  if (!(max > min)) {
    min = origin;
    max = static_cast<double>(origin) + std::max(size, 1) - 1;
  }
  if (!std::isfinite(v)) return 0;
  const double f = std::clamp((v - min) / (max - min), 0.0, 1.0);
  return static_cast<int32_t>(std::lround(f * 65535));
}
}  // namespace

std::optional<HookEvent> XInputTranslator::RawMotion(const XInputEvent& e) {
  MouseHookEvent m;
  m.message = kRawMotionMessage;
  m.time = e.time;
  m.tick = e.time;
  m.flags = e.injected ? 0x01u : 0u;
  if (const auto a = absolute_.find(e.sourceId); a != absolute_.end()) {
    AbsoluteState& s = positions_[e.sourceId];
    if (e.axes & 1) s.x = Scale65535(e.rawX, a->second.minX, a->second.maxX, screen_.left, screen_.width);
    if (e.axes & 2) s.y = Scale65535(e.rawY, a->second.minY, a->second.maxY, screen_.top, screen_.height);
    RawMouseReport r;
    r.absolute = r.virtualDesktop = true;
    r.x = s.x;
    r.y = s.y;
    if (!s.tracker.Take(r, screen_, screen_, m.x, m.y)) return std::nullopt;
    return HookEvent{m};
  }
  // Distances: whole pixels now, the fractions with the next motion.
  auto whole = [](double raw, double& rest) {
    if (!std::isfinite(raw)) return int32_t{0};
    rest += raw;
    const double w = std::clamp(std::trunc(rest), -1e9, 1e9);
    rest -= w;
    if (std::fabs(rest) >= 1) rest = 0;  // beyond any real motion
    return static_cast<int32_t>(w);
  };
  m.x = (e.axes & 1) ? whole(e.rawX, restX_) : 0;
  m.y = (e.axes & 2) ? whole(e.rawY, restY_) : 0;
  if (m.x == 0 && m.y == 0) return std::nullopt;
  return HookEvent{m};
}

}  // namespace tesmuro::record
