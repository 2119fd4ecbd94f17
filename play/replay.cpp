#include "play/replay.h"

#include <algorithm>

namespace tesmuro::play {

using script::ActionKind;

void ActionReplayer::Press(Held h) {
  if (std::find(held_.begin(), held_.end(), h) == held_.end()) held_.push_back(h);
}

void ActionReplayer::Release(Held h) {
  held_.erase(std::remove(held_.begin(), held_.end(), h), held_.end());
}

bool ActionReplayer::Holds(uint8_t vk) const {
  return std::find(held_.begin(), held_.end(), Held{false, vk}) != held_.end();
}

void ActionReplayer::Replay(const script::Action& a, bool postJoy, bool sendInputJoy) {
  if (lifted_) PressAgain();  // what the script holds is down again before its next action
  // Mouse buttons: the flag to inject and the up flag that identifies the button.
  auto button = [&](uint32_t flags, uint32_t upFlag, bool down) {
    sink_.MouseEvent(flags, last_x_, last_y_, 0, 0);
    down ? Press({true, upFlag}) : Release({true, upFlag});
  };
  auto key = [&](bool down) {
    sink_.KeybdEvent(a.vk, 0, down ? 0 : kKeyEventKeyUp, 0);
    down ? Press({false, a.vk}) : Release({false, a.vk});
  };

  switch (a.kind) {
    case ActionKind::Move:
      sink_.SetCursorPos(a.x, a.y);
      last_x_ = a.x;
      last_y_ = a.y;
      moved_ = true;
      break;
    case ActionKind::LeftDown: button(kMouseLeftDown, kMouseLeftUp, true); break;
    case ActionKind::LeftUp: button(kMouseLeftUp, kMouseLeftUp, false); break;
    case ActionKind::RightDown: button(kMouseRightDown, kMouseRightUp, true); break;
    case ActionKind::RightUp: button(kMouseRightUp, kMouseRightUp, false); break;
    case ActionKind::MiddleDown: button(kMouseMiddleDown, kMouseMiddleUp, true); break;
    case ActionKind::MiddleUp: button(kMouseMiddleUp, kMouseMiddleUp, false); break;
    case ActionKind::Wheel:
      // The reader already cut the turn to a signed 16-bit value; cut again so
      // an action built any other way injects the same.
      sink_.MouseEvent(kMouseWheel, a.wheel_a, a.wheel_b,
                       static_cast<int16_t>(static_cast<uint16_t>(a.wheel)), 0);
      break;
    case ActionKind::KeyDown:
    case ActionKind::SysKeyDown: key(true); break;
    case ActionKind::KeyUp:
    case ActionKind::SysKeyUp: key(false); break;
    case ActionKind::JoyMove: {
      const uint32_t x = static_cast<uint32_t>(a.x), y = static_cast<uint32_t>(a.y);
      if (postJoy)
        sink_.PostBroadcast(kMsgJoy1Move, 0, static_cast<intptr_t>(static_cast<int32_t>((y << 16) | x)));
      if (sendInputJoy)
        sink_.SendHardwareInput(kMsgJoy1Move, static_cast<uint16_t>(x), static_cast<uint16_t>(y));
      break;
    }
    case ActionKind::JoyButton:
      if (postJoy)
        sink_.PostBroadcast(kMsgJoy1ButtonDown, static_cast<uintptr_t>(static_cast<uint32_t>(a.buttons)), 0);
      if (sendInputJoy)
        sink_.SendHardwareInput(kMsgJoy1ButtonDown, static_cast<uint16_t>(static_cast<uint32_t>(a.buttons)), 0);
      break;
    case ActionKind::Delay:
    case ActionKind::Unknown:
    case ActionKind::ConversionError:
      break;
  }
}

void ActionReplayer::InjectUp(Held h) {
  if (h.button)
    sink_.MouseEvent(h.code, last_x_, last_y_, 0, 0);
  else
    sink_.KeybdEvent(static_cast<uint8_t>(h.code), 0, kKeyEventKeyUp, 0);
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
  if (button && moved_) sink_.SetCursorPos(last_x_, last_y_);
  for (const Held& h : held_) {
    if (h.button)
      sink_.MouseEvent(h.code >> 1, last_x_, last_y_, 0, 0);  // each button's down flag is half its up flag
    else
      sink_.KeybdEvent(static_cast<uint8_t>(h.code), 0, 0, 0);
  }
}

}  // namespace tesmuro::play
