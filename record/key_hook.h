// The keyboard recorder: a low-level keyboard hook that records key presses
// and releases while recording, and serves the three global hot keys
// whenever it is installed.
#pragma once

#include <bitset>
#include <cstdint>
#include <optional>

#include "record/hook_events.h"
#include "record/hook_recorder.h"
#include "record/record_sink.h"
#include "util/shortcut.h"

namespace tesmuro {

// EmergencyStop: the Pause key pressed by the user while something runs
// (see IsEmergencyStopPress); it ends playback and recording like Stop.
// ScriptKey: the key of one of the script hot keys (which one, the caller
// that matched it keeps).
enum class HotKeyCommand { None, Record, Play, Stop, EmergencyStop, ScriptKey };

// Whether a key-down event fires the stored hot key. Key-downs count whether
// the system reports them as keys or as system keys (F10, and every key
// pressed while Alt is down, come as system keys). A plain key fires
// whatever modifiers are held. A key stored with modifiers fires when its
// key goes down with exactly those modifiers held: for a key the user
// pressed, the user's own modifiers (not those the player holds); for an
// injected key, the modifiers held by anyone. The player's own keys
// (os::kPlayerInputTag) fire none: a script that holds the stop key, as a
// recording ends with it, plays on as often as asked.
bool HotKeyMatches(uint16_t stored, const KeyHookEvent& e);

// The emergency stop key: Pause (Break), which Ctrl turns into Cancel
// (os::kVkPause, os::kVkCancel).
// A key-down of the emergency stop key by the user's hand: injected presses
// (a script's) never count. Works whatever the hot-key settings are.
bool IsEmergencyStopPress(const KeyHookEvent& e);

// The keys the user presses, among the keyboard events in order, for a
// script that waits for one: a key-down of a key that was up, with the
// modifiers held (by the user's own hands for a real key; by anyone for a
// key another program injected). The repeats of a held key are no new
// press: a key held since before a wait does not end it, nor does one held
// a little long end two waits in a row. Nothing for a release, for the
// player's own keys (os::kPlayerInputTag) and for codes beyond a byte.
class UserKeyPresses {
 public:
  std::optional<Shortcut> OnEvent(const KeyHookEvent& e);

 private:
  std::bitset<256> down_;
};

class TKeyHook : public HookRecorder {
 public:
  TKeyHook(IHookHost& host, IClock& clock)
      : HookRecorder(host, clock, &IHookHost::InstallKeyboardHook, &IHookHost::UninstallKeyboardHook) {}

  // One event from the hook, in order. Records it first (when recording),
  // then tells which hot-key command it fires, if any; the caller runs that
  // command before it hands over the next event.
  HotKeyCommand OnEvent(const KeyHookEvent& e, RecordSink& sink);

  // Checks that the system has not removed the installed hook, and installs
  // it again if it has (IHookHost::CheckKeyboardHook). True when a lost hook
  // was replaced.
  bool CheckHook() { return Installed() && host_.CheckKeyboardHook(); }

  // Copies of the settings' hot keys (Shortcut codes). The switch is true at
  // program start; construction leaves it alone.
  uint16_t HotRecordKey = 0;
  uint16_t HotStartKey = 0;
  uint16_t HotStopKey = 0;
  bool HotKeysEnabled = true;
};

}  // namespace tesmuro
