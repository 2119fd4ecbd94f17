// The X display the program works on: opening it with the checks and clear
// messages a user needs (no display, Wayland without XWayland, a server
// without RECORD or XTEST), the handler for a server that goes away, and the
// set-up record and play share: the listener of the server's input, its
// translation into the hooks' events, the server's clock and the modifier
// record.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "os/platform.h"
#include "play/input_sink.h"
#include "record/modifier_tracker.h"
#include "record/x_input_translator.h"
#include "record/x_record_x11.h"

typedef struct _XDisplay Display;

namespace tesmuro::linux_x {

struct Needs {
  bool record = false;
  bool xtest = false;
};

// What a session listens to besides the keys.
struct Listen {
  bool pointer = false;    // the pointer's positions and buttons
  bool rawMotion = false;  // the pointer's relative motion (game mode)
};

// A plain connection to the display `name` (or $DISPLAY), opened with the
// checks and messages of Session::Open; null with the message in `error`.
Display* Connect(const std::string& name, std::string& error);

// One command's time on the X server: the display, the listener and what
// reads its events.
class Session {
 public:
  Session() = default;
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Opens the display `name` (or $DISPLAY) with `needs`, tells `say` of a
  // Wayland session, installs the error handlers with `onLost`, starts the
  // listener (keys, and what `listen` asks) and reads the keyboard's state.
  // Empty on success, else the message (UTF-8).
  std::string Open(const std::string& name, Needs needs, Listen listen, std::function<void()> onLost,
                   const std::function<void(const std::string&)>& say);

  // Stops the listener and closes the display (unless the server went
  // away); the destructor does it too.
  void Close();

  Display* display() const { return display_; }
  // The screen at Open().
  const ScreenRect& Screen() const { return screen_; }
  // The server's millisecond time, followed on the monotonic clock.
  IClock& Clock() { return *clock_; }
  // The recorders' hooks are the listener, which the session runs itself.
  IHookHost& Hooks() { return hooks_; }
  // The listener's thread ended by itself: the server went away.
  bool Lost() const { return listener_.Ended(); }

  // Waits up to `timeoutMs` for the listener's events or a signal, then
  // moves the waiting events into `events` (cleared first). True when a
  // signal came.
  bool Wait(int timeoutMs, std::vector<record::XInputEvent>& events);
  // The hooks' event for a server event, or none; key events are stamped
  // with the modifiers held (see ModifierTracker::Apply).
  std::optional<HookEvent> Translate(const record::XInputEvent& event);

 private:
  class HookHost final : public IHookHost {
   public:
    bool InstallMouseHook() override { return true; }
    void UninstallMouseHook() override {}
    bool InstallKeyboardHook() override { return true; }
    void UninstallKeyboardHook() override {}
  };
  class ServerClock final : public IClock {
   public:
    ServerClock(uint32_t serverTime, int64_t monoMicros) : serverTime_(serverTime), mono_(monoMicros) {}
    uint32_t TickCount() override;

   private:
    uint32_t serverTime_;
    int64_t mono_;
  };

  Display* display_ = nullptr;
  ScreenRect screen_;
  record::XRecordListener listener_;
  record::XInputTranslator translator_;
  std::optional<ServerClock> clock_;
  HookHost hooks_;
  ModifierTracker modifiers_;
};

}  // namespace tesmuro::linux_x
