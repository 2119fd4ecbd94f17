#include "record/recording_session.h"

#include <algorithm>

#include "script/script_format.h"

namespace tesmuro {

int CountJoysticks(IJoystickService& joysticks) {
  constexpr unsigned kJoyErrParms = 165;
  constexpr unsigned kMaxIds = 16;
  int count = 0;
  for (unsigned id = 0; id < kMaxIds; ++id) {
    const unsigned r = joysticks.GetPosEx(id);
    if (r == kJoyErrParms) break;
    if (r == 0) ++count;
  }
  return count;
}

RecordingSession::RecordingSession(IHookHost& hooks, IClock& clock, IJoystickService& joysticks, RecordSink& out)
    : hooks_(hooks),
      clock_(clock),
      joysticks_(joysticks),
      out_(out),
      mouse_(std::make_unique<TMouseHook>(hooks, clock)),
      keys_(std::make_unique<TKeyHook>(hooks, clock)) {}

RecordingSession::~RecordingSession() {
  // The keyboard recorder goes first, then the mouse recorder; each stops
  // recording and removes its hook.
  keys_.reset();
  mouse_.reset();
}

void RecordingSession::Start(const RecordingOptions& o) {
  if (o.mouse) mouse_->Install();
  keys_->Install();
  if (o.joy) {
    joysticks_.SetCapture(0, 0, false);
    joysticks_.SetCapture(1, 0, false);
  }
  joyAsked_ = o.joy;
  mouse_->SetGameMode(o.gameMode);
  mouse_->SetMoveLimits(o.moveIntervalMs, o.moveMinDistance);
  if (o.mouse && o.gameMode) hooks_.InstallRawMotion();
  PublishHotKeys(o.hotKeys);
  if (o.mouse) mouse_->SetRecording(true);
  if (o.keys) keys_->SetRecording(true);
  LastEventTime = clock_.TickCount();
  lastWindowLine_.clear();
  linesWritten_ = 0;
  rightPress_.reset();
  const ScreenRect& r = o.screen;
  if (r.Known()) Write(script::ScreenLine(r.left, r.top, r.width, r.height, r.dpi));
}

void RecordingSession::PublishHotKeys(const HotKeys& k, bool withSwitch) {
  keys_->HotRecordKey = k.record;
  keys_->HotStartKey = k.play;
  keys_->HotStopKey = k.stop;
  if (withSwitch) keys_->HotKeysEnabled = k.enabled;
}

void RecordingSession::PrepareWindowLine(const std::optional<TopWindow>& w) {
  windowLine_.clear();
  if (!w || w->own) return;
  std::string line = script::WindowLine(desktop_->System(), w->process, w->className, w->title, w->rect.left,
                                        w->rect.top, w->rect.width, w->rect.height);
  if (line != lastWindowLine_) windowLine_ = std::move(line);
}

void RecordingSession::Write(std::string_view gbk) {
  out_.AppendLine(gbk);
  ++linesWritten_;
}

void RecordingSession::AppendLine(std::string_view gbk) {
  Write(gbk);
  if (windowLine_.empty()) return;
  Write(windowLine_);
  lastWindowLine_ = std::move(windowLine_);
  windowLine_.clear();
}

void RecordingSession::OnMouseEvent(const MouseHookEvent& e) {
  const bool down = e.message == kWmLButtonDown || e.message == kWmRButtonDown || e.message == kWmMButtonDown ||
                    e.message == kWmXButtonDown;
  if (down && e.code == 0 && mouse_->Recording()) {
    // A move held back goes before the window line, which belongs to the click.
    mouse_->FlushMove(*this);
    rightPress_.reset();
    if (e.message == kWmRButtonDown) rightPress_ = linesWritten_;
    if (desktop_) PrepareWindowLine(desktop_->WindowAt(e.x, e.y));
  }
  mouse_->OnEvent(e, *this);
  windowLine_.clear();
}

HotKeyCommand RecordingSession::OnKeyEvent(const KeyHookEvent& e, bool playing) {
  const bool down = e.message == kWmKeyDown || e.message == kWmSysKeyDown;
  if (down && keys_->Recording()) {
    mouse_->FlushMove(*this);
    rightPress_.reset();
    if (desktop_) PrepareWindowLine(desktop_->Foreground());
  }
  const HotKeyCommand command = keys_->OnEvent(e, *this);
  windowLine_.clear();
  if (IsEmergencyStopPress(e) && (playing || Recording())) return HotKeyCommand::EmergencyStop;
  return command;
}

void RecordingSession::StartControllers(const std::function<void()>& moreThanTwo) {
  if (!joyAsked_ || joysticks_.GetNumDevs() == 0) return;
  const int n = CountJoysticks(joysticks_);
  JoyRecording = true;
  if (n > 2 && moreThanTwo) moreThanTwo();
  if (n >= 1) joysticks_.SetCapture(0, 100, true);
  if (n >= 2) joysticks_.SetCapture(1, 100, true);
}

std::optional<int64_t> RecordingSession::RightPressMark() const {
  if (!rightPress_ || !Recording()) return std::nullopt;
  return rightPress_;
}

int64_t RecordingSession::LinesSince(int64_t mark) const { return linesWritten_ > mark ? linesWritten_ - mark : 0; }

void RecordingSession::Stop() {
  mouse_->FlushMove(*this);
  mouse_->SetRecording(false);
  keys_->SetRecording(false);
  mouse_->Uninstall();
  hooks_.UninstallRawMotion();
  joysticks_.ReleaseCapture(0);
  joysticks_.ReleaseCapture(1);
  JoyRecording = false;
}

void RecordingSession::Pause() {
  keys_->Install();
  mouse_->FlushMove(*this);
  mouse_->SetRecording(false);
  keys_->SetRecording(false);
  JoyRecording = false;
}

void RecordingSession::Close() {
  mouse_->FlushMove(*this);
  mouse_->SetRecording(false);
  keys_->SetRecording(false);
  mouse_->Uninstall();
  keys_->Uninstall();
  hooks_.UninstallRawMotion();
  joysticks_.ReleaseCapture(0);
  joysticks_.ReleaseCapture(1);
}

bool RecordingSession::Recording() const { return mouse_->Recording() || keys_->Recording() || JoyRecording; }

void RecordingSession::SyncLastEventTime() {
  // Whatever is recorded next, the pointer's place comes first.
  mouse_->FlushMove(*this);
  const uint32_t m = mouse_->GetLastTime();
  const uint32_t k = keys_->GetLastTime();
  const uint32_t f = LastEventTime;
  if (std::max(k, f) < m) {
    keys_->SetLastTime(m);
    LastEventTime = m;
  } else if (std::max(m, f) < k) {
    mouse_->SetLastTime(k);
    LastEventTime = k;
  } else {
    mouse_->SetLastTime(f);
    keys_->SetLastTime(f);
  }
}

void RecordingSession::WriteDelayLine() {
  const uint32_t now = clock_.TickCount();
  Write(script::DelayLine(static_cast<int32_t>(now - LastEventTime)));
  LastEventTime = now;
}

void RecordingSession::OnJoy1Move(uint32_t lParam) {
  const int32_t x = static_cast<int32_t>(lParam & 0xFFFFu);
  const int32_t y = static_cast<int32_t>(lParam >> 16);
  bool changed = false;
  if (x != LastJoyX) {
    LastJoyX = x;
    changed = true;
  }
  if (y != LastJoyY) {
    LastJoyY = y;
    changed = true;
  }
  if (changed && JoyRecording) {
    SyncLastEventTime();
    WriteDelayLine();
    Write(script::JoyMoveLine(LastJoyX, LastJoyY));
  }
}

void RecordingSession::OnJoy1ButtonDown(uint32_t wParam) {
  if (!JoyRecording) return;
  SyncLastEventTime();
  WriteDelayLine();
  Write(script::JoyButtonLine(static_cast<int32_t>(wParam)));
}

}  // namespace tesmuro
