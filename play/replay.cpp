#include "play/replay.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace tesmuro::play {

using script::ActionKind;

void ActionReplayer::Press(Held h) {
  for (const Held& k : held_)
    if (k.Same(h)) return;
  held_.push_back(h);
}

void ActionReplayer::Release(Held h) {
  held_.erase(std::remove_if(held_.begin(), held_.end(), [&](const Held& k) { return k.Same(h); }),
              held_.end());
}

bool ActionReplayer::Holds(uint8_t vk) const {
  return std::any_of(held_.begin(), held_.end(), [&](const Held& h) { return !h.button && h.key.vk == vk; });
}

void ActionReplayer::MapPoint(const ScreenRect& recorded, const ScreenRect& current, int32_t& x, int32_t& y) {
  if (!recorded.Known() || !current.Known() || recorded.SameArea(current)) return;
  // Proportional, rounded down to the pixel, so that every pixel of the
  // recorded screen lands on one of the current screen (rounding to the
  // nearest would put the last one beside a smaller screen); 64-bit so no
  // recorded value can overflow.
  auto map = [](int32_t v, int32_t from0, int32_t fromSize, int32_t to0, int32_t toSize) {
    const int64_t num = (int64_t{v} - from0) * toSize;
    const int64_t q = num >= 0 ? num / fromSize : -((-num + fromSize - 1) / fromSize);
    const int64_t r = to0 + q;
    return static_cast<int32_t>(std::clamp<int64_t>(r, INT32_MIN, INT32_MAX));
  };
  x = map(x, recorded.left, recorded.width, current.left, current.width);
  y = map(y, recorded.top, recorded.height, current.top, current.height);
}

std::optional<ScreenNotice> ActionReplayer::TakeScreenNotice() {
  if (!screenNoticeDue_) return std::nullopt;
  screenNoticeDue_ = false;
  return ScreenNotice{recordedScreen_, currentScreen_};
}

void ActionReplayer::PressKey(const KeyStroke& k) { sink_.Key(k); }

namespace {
// The button of a button action and whether it goes down; nothing for any other action.
std::optional<std::pair<MouseButton, bool>> ButtonOf(ActionKind kind) {
  switch (kind) {
    case ActionKind::LeftDown: return std::pair{MouseButton::Left, true};
    case ActionKind::LeftUp: return std::pair{MouseButton::Left, false};
    case ActionKind::RightDown: return std::pair{MouseButton::Right, true};
    case ActionKind::RightUp: return std::pair{MouseButton::Right, false};
    case ActionKind::MiddleDown: return std::pair{MouseButton::Middle, true};
    case ActionKind::MiddleUp: return std::pair{MouseButton::Middle, false};
    case ActionKind::X1Down: return std::pair{MouseButton::X1, true};
    case ActionKind::X1Up: return std::pair{MouseButton::X1, false};
    case ActionKind::X2Down: return std::pair{MouseButton::X2, true};
    case ActionKind::X2Up: return std::pair{MouseButton::X2, false};
    default: return std::nullopt;
  }
}
}  // namespace

void ActionReplayer::ReplayButton(MouseButton which, bool down) {
  sink_.Button(which, down, Place());
  Held h{true, which, {}};
  down ? Press(h) : Release(h);
}

void ActionReplayer::ReplayKey(const script::Action& a, bool down) {
  KeyStroke k;
  k.vk = a.vk;
  k.scan = static_cast<uint16_t>(a.scan & 0xFFu);
  k.extended = (a.flags & 1u) != 0;
  k.up = !down;
  k.scanOnly = options_.gameMode;
  sink_.Key(k);
  Held h{false, MouseButton::Left, k};
  h.key.up = false;
  down ? Press(h) : Release(h);
}

void ActionReplayer::ReplayMove(const script::Action& a) {
  int32_t x = a.x, y = a.y;
  if (!following_ && recordedScreen_.Known() && currentScreen_.Known() &&
      !recordedScreen_.SameArea(currentScreen_) && !options_.scaleToScreen && !screenNoticeGiven_)
    screenNoticeGiven_ = screenNoticeDue_ = true;
  PlacePoint(x, y);
  sink_.MoveTo(x, y);
  recorded_x_ = a.x;
  recorded_y_ = a.y;
  last_x_ = x;
  last_y_ = y;
  moved_ = placed_ = true;
}

void ActionReplayer::Replay(const script::Action& a) {
  if (lifted_) PressAgain();  // what the script holds is down again before its next action
  if (const auto button = ButtonOf(a.kind)) return ReplayButton(button->first, button->second);
  const bool controller = options_.controller.broadcast || options_.controller.hardwareInput;
  switch (a.kind) {
    case ActionKind::Move: ReplayMove(a); break;
    case ActionKind::RelMove:
      sink_.MoveBy(a.x, a.y);
      placed_ = false;
      break;
    case ActionKind::Screen:
      recordedScreen_ = ScreenRect{a.screen[0], a.screen[1], a.screen[2], a.screen[3], a.screen[4]};
      currentScreen_ = sink_.Screen();
      following_ = false;
      break;
    case ActionKind::Wheel:
    case ActionKind::HWheel:
      // The reader already cut the turn to a signed 16-bit value; cut again so
      // an action built any other way injects the same.
      sink_.Wheel(a.kind == ActionKind::Wheel ? WheelAxis::Vertical : WheelAxis::Horizontal,
                  static_cast<int16_t>(static_cast<uint16_t>(a.wheel)), a.wheel_a, a.wheel_b, Place());
      break;
    case ActionKind::KeyDown:
    case ActionKind::SysKeyDown: ReplayKey(a, true); break;
    case ActionKind::KeyUp:
    case ActionKind::SysKeyUp: ReplayKey(a, false); break;
    case ActionKind::JoyMove:
      if (controller)
        sink_.ControllerMove(static_cast<uint16_t>(static_cast<uint32_t>(a.x)),
                             static_cast<uint16_t>(static_cast<uint32_t>(a.y)), options_.controller);
      break;
    case ActionKind::JoyButton:
      if (controller) sink_.ControllerButtons(static_cast<uint32_t>(a.buttons), options_.controller);
      break;
    case ActionKind::LeftDown: case ActionKind::LeftUp: case ActionKind::RightDown: case ActionKind::RightUp:
    case ActionKind::MiddleDown: case ActionKind::MiddleUp: case ActionKind::X1Down: case ActionKind::X1Up:
    case ActionKind::X2Down: case ActionKind::X2Up:
      break;  // played above (ButtonOf)
    case ActionKind::Delay:
    case ActionKind::RandomDelay:
    case ActionKind::TypeText:
    case ActionKind::WaitKey:
    case ActionKind::Window:
    case ActionKind::WaitWindow:
    case ActionKind::WaitColor:
    case ActionKind::WaitImage:
    case ActionKind::ClickImage:
    case ActionKind::Unknown:
    case ActionKind::ConversionError:
      break;
  }
}

void ActionReplayer::PlacePoint(int32_t& x, int32_t& y) const {
  if (following_) {
    x = static_cast<int32_t>(std::clamp<int64_t>(int64_t{x} + follow_dx_, INT32_MIN, INT32_MAX));
    y = static_cast<int32_t>(std::clamp<int64_t>(int64_t{y} + follow_dy_, INT32_MIN, INT32_MAX));
  } else if (options_.scaleToScreen) {
    MapPoint(recordedScreen_, currentScreen_, x, y);
  }
}

void ActionReplayer::Follow(int32_t dx, int32_t dy) {
  following_ = true;
  follow_dx_ = dx;
  follow_dy_ = dy;
  if (!moved_) return;
  int32_t x = recorded_x_, y = recorded_y_;
  PlacePoint(x, y);
  if (x == last_x_ && y == last_y_) return;
  sink_.MoveTo(x, y);
  last_x_ = x;
  last_y_ = y;
  placed_ = true;
}

std::optional<PointerPlace> ActionReplayer::Place() const {
  if (!placed_ || options_.gameMode) return std::nullopt;
  return PointerPlace{last_x_, last_y_};
}

void ActionReplayer::ClickAt(int32_t x, int32_t y) {
  if (lifted_) PressAgain();
  sink_.MoveTo(x, y);
  last_x_ = x;
  last_y_ = y;
  placed_ = true;
  const Held left{true, MouseButton::Left, {}};
  sink_.Button(MouseButton::Left, true, Place());
  Press(left);
  sink_.Button(MouseButton::Left, false, Place());
  Release(left);
}

void ActionReplayer::InjectUp(Held h) {
  if (h.button) {
    sink_.Button(h.which, false, Place());
  } else {
    KeyStroke k = h.key;
    k.up = true;
    sink_.Key(k);
  }
}

void ActionReplayer::ReleaseHeld() {
  if (lifted_) {
    held_.clear();
    lifted_ = false;
    return;
  }
  while (!held_.empty()) {
    const Held h = held_.back();
    held_.pop_back();
    InjectUp(h);
  }
}

void ActionReplayer::LiftHeld() {
  if (lifted_) return;
  lifted_ = true;
  for (auto it = held_.rbegin(); it != held_.rend(); ++it) InjectUp(*it);
}

void ActionReplayer::PressAgain() {
  if (!lifted_) return;
  lifted_ = false;
  const bool button = std::any_of(held_.begin(), held_.end(), [](const Held& h) { return h.button; });
  if (button && placed_) sink_.MoveTo(last_x_, last_y_);
  for (const Held& h : held_) {
    if (h.button)
      sink_.Button(h.which, true, Place());
    else
      PressKey(h.key);
  }
}

}  // namespace tesmuro::play
