#include "record/mouse_hook.h"

#include "script/script_format.h"
#include "util/text.h"

namespace tesmuro {
namespace {

struct ButtonEntry {
  uint32_t message;
  script::ButtonLine line;
  const char* status;  // the keyword as the status bar shows it
};

constexpr ButtonEntry kButtons[] = {
    {kWmLButtonDown, script::ButtonLine::LeftDown, "左键按下"},
    {kWmLButtonUp, script::ButtonLine::LeftUp, "左键释放"},
    {kWmLButtonDblClk, script::ButtonLine::LeftDouble, "左键双击"},
    {kWmRButtonDown, script::ButtonLine::RightDown, "右键按下"},
    {kWmRButtonUp, script::ButtonLine::RightUp, "右键释放"},
    {kWmRButtonDblClk, script::ButtonLine::RightDouble, "右键双击"},
    {kWmMButtonDown, script::ButtonLine::MiddleDown, "中键按下"},
    {kWmMButtonUp, script::ButtonLine::MiddleUp, "中键释放"},
    {kWmMButtonDblClk, script::ButtonLine::MiddleDouble, "中键双击"},
};

// The side buttons: the button is in the high word of the event's data.
const ButtonEntry* XButton(const MouseHookEvent& e) {
  static constexpr ButtonEntry kX[] = {
      {kWmXButtonDown, script::ButtonLine::X1Down, "后退键按下"},
      {kWmXButtonUp, script::ButtonLine::X1Up, "后退键释放"},
      {kWmXButtonDown, script::ButtonLine::X2Down, "前进键按下"},
      {kWmXButtonUp, script::ButtonLine::X2Up, "前进键释放"},
  };
  const uint32_t which = e.mouseData >> 16;
  if (which != 1 && which != 2) return nullptr;
  return &kX[(which - 1) * 2 + (e.message == kWmXButtonUp ? 1 : 0)];
}

}  // namespace

void TMouseHook::SetMoveLimits(int32_t intervalMs, int32_t minDistance) {
  intervalMs_ = intervalMs > 0 ? intervalMs : 0;
  minDistance_ = minDistance > 0 ? minDistance : 0;
  held_.reset();
  lastWritten_.reset();
}

bool TMouseHook::MoveDue(const MouseHookEvent& e) const {
  if ((intervalMs_ == 0 && minDistance_ == 0) || !lastWritten_) return true;
  if (intervalMs_ > 0 && static_cast<int32_t>(e.tick - lastWritten_->tick) >= intervalMs_) return true;
  if (minDistance_ > 0) {
    const int64_t dx = int64_t{e.x} - lastWritten_->x, dy = int64_t{e.y} - lastWritten_->y;
    if (dx * dx + dy * dy >= int64_t{minDistance_} * minDistance_) return true;
  }
  return false;
}

void TMouseHook::FlushMove(RecordSink& sink) {
  if (!held_) return;
  const Point p = *held_;
  held_.reset();
  if (!Recording()) return;
  sink.SyncLastEventTime();
  sink.AppendLine(script::DelayLine(TakeDelay(p.tick)));
  sink.AppendLine(script::MoveLine(p.x, p.y));
  lastWritten_ = p;
}

void TMouseHook::OnEvent(const MouseHookEvent& e, RecordSink& sink) {
  if (e.code != 0 || !Recording()) return;
  const ButtonEntry* button = nullptr;
  for (const auto& b : kButtons)
    if (b.message == e.message) button = &b;
  if (e.message == kWmXButtonDown || e.message == kWmXButtonUp) {
    button = XButton(e);
    if (!button) return;
  }
  // Game mode records the relative motion in place of the positions.
  const bool move = e.message == kWmMouseMove && !gameMode_;
  const bool relative = e.message == kRawMotionMessage && gameMode_ && (e.x != 0 || e.y != 0);
  if (!button && !move && !relative && e.message != kWmMouseWheel && e.message != kWmMouseHWheel) return;

  if (move) {
    // The event's own point: the cursor position is not yet updated while the
    // hook sees the move.
    sink.SetStatusText(1, "X:" + ToDec(e.x) + "Y:" + ToDec(e.y));
    // Back at the point of the last written move (the same point again, or a
    // move after a click that the system reports at the click's point): the
    // script has the pointer there already. Nothing is written and the time
    // goes on into the next line's delay; a move held back is void.
    if (lastWritten_ && e.x == lastWritten_->x && e.y == lastWritten_->y) {
      held_.reset();
      return;
    }
    if (!MoveDue(e)) {
      held_ = Point{e.x, e.y, e.tick};
      return;
    }
    held_.reset();
    lastWritten_ = Point{e.x, e.y, e.tick};
  } else {
    FlushMove(sink);
  }
  sink.SyncLastEventTime();
  const int32_t delay = TakeDelay(e.tick);

  if (relative) {
    sink.SetStatusText(1, "DX:" + ToDec(e.x) + "DY:" + ToDec(e.y));
    sink.AppendLine(script::DelayLine(delay));
    sink.AppendLine(script::RelMoveLine(e.x, e.y));
  } else if (e.message == kWmMouseHWheel) {
    sink.SetStatusText(2, "水平滚轮");
    sink.AppendLine(script::DelayLine(delay));
    sink.AppendLine(script::HWheelLine(static_cast<int16_t>(e.mouseData >> 16),
                                       static_cast<int16_t>(e.flags & 0xFFFFu),
                                       static_cast<int16_t>(e.flags >> 16)));
  } else if (move) {
    sink.AppendLine(script::DelayLine(delay));
    sink.AppendLine(script::MoveLine(e.x, e.y));
  } else if (e.message == kWmMouseWheel) {
    sink.SetStatusText(2, "鼠标滚轮");
    sink.AppendLine(script::DelayLine(delay));
    sink.AppendLine(script::WheelLine(static_cast<int16_t>(e.mouseData >> 16),
                                      static_cast<int16_t>(e.flags & 0xFFFFu),
                                      static_cast<int16_t>(e.flags >> 16)));
  } else {
    sink.SetStatusText(2, button->status);
    sink.AppendLine(script::DelayLine(delay));
    sink.AppendLine(script::MouseButtonLine(button->line));
  }
}

}  // namespace tesmuro
