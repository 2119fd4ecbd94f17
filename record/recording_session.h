// A program's recording: the mouse and keyboard recorders, the controller
// recorder and the recording clock they share.
//
// The session is the recorders' sink: it merges the three last-event times
// before each event is recorded and passes the lines and status texts on to
// `out` (the script, as its owner keeps it).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "os/desktop.h"
#include "os/platform.h"
#include "record/hook_events.h"
#include "record/key_hook.h"
#include "record/mouse_hook.h"
#include "record/recording_options.h"
#include "record/record_sink.h"

namespace tesmuro {

// Counts the game controllers whose position can be read: ids from 0 up to
// the first one the service calls out of range, and never more than the
// system's 16 ids.
int CountJoysticks(IJoystickService& joysticks);

class RecordingSession : private RecordSink {
 public:
  RecordingSession(IHookHost& hooks, IClock& clock, IJoystickService& joysticks, RecordSink& out);
  ~RecordingSession() override;
  RecordingSession(const RecordingSession&) = delete;
  RecordingSession& operator=(const RecordingSession&) = delete;

  // Recording starts: the keyboard hook is installed (for the hot keys and
  // the emergency stop whatever is recorded), the mouse hook when asked, the
  // controllers prepared, raw motion taken in game mode, the hot keys
  // published, the recorders switched on, the clock stamped and the screen
  // line written. The controllers start with StartControllers().
  void Start(const RecordingOptions& options);
  // Hands the hot keys to the keyboard recorder; their switch too when
  // asked.
  void PublishHotKeys(const HotKeys& keys, bool withSwitch = true);
  // The controllers start capturing, when asked at Start() and the system has
  // any; `moreThanTwo` is called when more than the two that can be recorded
  // are there, before they are captured.
  void StartControllers(const std::function<void()>& moreThanTwo);
  // Recording stops: a move held back is written, the recorders are off,
  // the mouse hook, raw motion and the controllers are released (the
  // keyboard hook stays for the hot keys).
  void Stop();
  // Playback begins: the recorders are off; the keyboard hook is there for
  // the hot keys.
  void Pause();
  // The window closes: as Stop(), and the keyboard hook goes too.
  void Close();
  bool Recording() const;

  // The desktop whose windows a recording names: before a button or a key
  // goes down, the top-level window it acts on (the one under the pointer,
  // the one in front) is written as a window line between the delay line and
  // the action when it differs from the last one written. None: no window
  // lines.
  void UseDesktop(IDesktop* desktop) { desktop_ = desktop; }

  // Writes the move the mouse recorder held back, if any (see
  // TMouseHook::SetMoveLimits), so that what is written next comes after it.
  void FlushHeldMove() { mouse_->FlushMove(*this); }

  // Input from the hooks, in the order they saw it.
  void OnMouseEvent(const MouseHookEvent& e);
  // Records the key and tells the command it fires, if any: the user's
  // emergency stop key while recording or `playing` (before any hot key of
  // the same key), else a hot key's.
  HotKeyCommand OnKeyEvent(const KeyHookEvent& e, bool playing = false);
  // The first controller's capture messages.
  void OnJoy1Move(uint32_t lParam);
  void OnJoy1ButtonDown(uint32_t wParam);

  // The recording clock: writes a move the mouse recorder held back (it goes
  // before whatever is recorded now), then merges the three last-event times
  // into their latest; the controller recorder's delay line, up to the one
  // reading of the clock that its next delay counts from.
  void SyncLastEventTime() override;
  void WriteDelayLine();

  TMouseHook& Mouse() { return *mouse_; }
  TKeyHook& Keys() { return *keys_; }

  // Lines this recording has written so far, for taking back what a
  // command of our own was given with: when the last button or key pressed
  // in this recording was the right button, the count of lines before its
  // delay line (a move held back before it included); else none.
  std::optional<int64_t> RightPressMark() const;
  // How many lines were written after `mark` (a count as above).
  int64_t LinesSince(int64_t mark) const;

  // The controller recorder's last-event time.
  uint32_t LastEventTime = 0;
  bool JoyRecording = false;
  // The last position the first controller reported.
  int32_t LastJoyX = 0;
  int32_t LastJoyY = 0;

 private:
  // Every line goes out through here, counted.
  void Write(std::string_view gbk);
  // The action's delay line goes first, then the window line waiting for it.
  void AppendLine(std::string_view gbk) override;
  // The window line for `w`, to go before the action now being recorded;
  // nothing for our own windows and for the window of the last such line.
  void PrepareWindowLine(const std::optional<TopWindow>& w);
  void SetStatusText(int panel, std::string_view utf8) override { out_.SetStatusText(panel, utf8); }

  IHookHost& hooks_;
  IClock& clock_;
  IJoystickService& joysticks_;
  RecordSink& out_;
  std::unique_ptr<TMouseHook> mouse_;
  std::unique_ptr<TKeyHook> keys_;
  bool joyAsked_ = false;  // Start() was asked for the controllers
  IDesktop* desktop_ = nullptr;
  std::string windowLine_;      // to be written after the next delay line
  std::string lastWindowLine_;  // the last one written in this recording
  int64_t linesWritten_ = 0;    // in this recording
  std::optional<int64_t> rightPress_;  // lines before the last press, when it was the right button's
};

}  // namespace tesmuro
