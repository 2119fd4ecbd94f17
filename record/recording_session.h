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

#include "os/platform.h"
#include "record/hook_events.h"
#include "record/key_hook.h"
#include "record/mouse_hook.h"
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

  struct Options {
    bool mouse = false;     // the mouse recorder
    bool keys = false;      // the keyboard recorder
    bool joy = false;       // the controllers
    bool gameMode = false;  // relative motion in place of positions
  };
  // Recording starts: the hooks asked for are installed, the controllers
  // prepared, raw motion taken in game mode, the recorders switched on and
  // the clock stamped. The controllers start with StartControllers().
  void Start(const Options& options);
  // The controllers start capturing, when asked at Start() and the system has
  // any; `moreThanTwo` is called when more than the two that can be recorded
  // are there, before they are captured.
  void StartControllers(const std::function<void()>& moreThanTwo);
  // Recording stops: the recorders are off, the mouse hook, raw motion and
  // the controllers are released (the keyboard hook stays for the hot keys).
  void Stop();
  // Playback begins: the recorders are off; the keyboard hook is there for
  // the hot keys.
  void Pause();
  // The window closes: as Stop(), and the keyboard hook goes too.
  void Close();
  bool Recording() const;

  // Input from the hooks, in the order they saw it.
  void OnMouseEvent(const MouseHookEvent& e) { mouse_->OnEvent(e, *this); }
  // Records the key and tells the hot key it fires, if any.
  HotKeyCommand OnKeyEvent(const KeyHookEvent& e) { return keys_->OnEvent(e, *this); }
  // The first controller's capture messages.
  void OnJoy1Move(uint32_t lParam);
  void OnJoy1ButtonDown(uint32_t wParam);

  // The recording clock: merges the three last-event times into their
  // latest; the controller recorder's delay line.
  void SyncLastEventTime() override;
  void WriteDelayLine();

  TMouseHook& Mouse() { return *mouse_; }
  TKeyHook& Keys() { return *keys_; }

  // The controller recorder's last-event time.
  uint32_t LastEventTime = 0;
  bool JoyRecording = false;
  // The last position the first controller reported.
  int32_t LastJoyX = 0;
  int32_t LastJoyY = 0;

 private:
  void AppendLine(std::string_view gbk) override { out_.AppendLine(gbk); }
  void SetStatusText(int panel, std::string_view utf8) override { out_.SetStatusText(panel, utf8); }

  IHookHost& hooks_;
  IClock& clock_;
  IJoystickService& joysticks_;
  RecordSink& out_;
  std::unique_ptr<TMouseHook> mouse_;
  std::unique_ptr<TKeyHook> keys_;
  bool joyAsked_ = false;  // Start() was asked for the controllers
};

}  // namespace tesmuro
