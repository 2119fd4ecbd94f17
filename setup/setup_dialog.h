// The settings dialog as data: the state of its controls, how it is filled
// from the settings record and read back into it, the edit boxes' integer
// conversion and the hot-key boxes' codes. The Windows dialog only moves this
// state in and out of its controls.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "setup/script_hotkeys.h"
#include "setup/settings.h"

namespace tesmuro::setup {

// A row of the third page (脚本热键) as its controls hold it.
struct ScriptKeyBoxes {
  uint16_t key = 0;          // the hot-key box's shortcut code (0: none)
  std::string script;        // the script file box, UTF-8
  std::string passes = "1";  // the passes box
  // Neither a key nor a script: the row is not used, whatever its passes.
  bool Blank() const;
  bool operator==(const ScriptKeyBoxes&) const = default;
};

// What the user sees in the dialog. Check boxes and radio buttons are known
// by their control ids (forms/setup_form.h): `checked` holds those that are
// on (the two message switches among them are not shown; their values pass
// through). Edit texts are UTF-8; the hot-key boxes hold 16-bit shortcut
// codes (Shortcut; 0 for no key).
struct SetupDialogState {
  std::set<int> checked;
  std::string EditLoopNum;
  std::string EditHour;
  std::string EditMin;
  std::string EditSec;
  uint16_t HotKeyStart = 0;
  uint16_t HotKeyStop = 0;
  uint16_t HotKeyRec = 0;
  std::string EditPassH;
  std::string EditPassM;
  std::string EditPassS;
  std::string EditAutoFileName;
  std::string EditSpeed;        // the playback speed in percent
  std::string EditWaitSeconds;  // the longest wait for a window or a colour
  std::string EditMoveInterval;  // the least time between recorded moves, ms
  std::string EditMoveDistance;  // the least distance between recorded moves, pixels
  std::string EditJitter;        // the random share of every delay, percent
  // The third page's rows, top to bottom.
  std::array<ScriptKeyBoxes, kMaxScriptHotKeys> ScriptKeys{};

  bool Checked(int control) const { return checked.contains(control); }
  void Check(int control, bool on) {
    if (on)
      checked.insert(control);
    else
      checked.erase(control);
  }
  bool operator==(const SetupDialogState&) const = default;
};

// The three loop-mode radio buttons share one group: turning one on turns the
// other two off; turning one off leaves the others as they are.
enum class LoopRadio { Num, Key, Time };
void SetLoopRadio(SetupDialogState& s, LoopRadio which, bool on);

// The error of an edit box whose text is not an integer.
class InvalidInteger : public std::runtime_error {
 public:
  explicit InvalidInteger(std::string_view text);
  // The same for a box that names itself.
  InvalidInteger(std::string_view box, std::string_view text);

 protected:
  struct Message {};
  InvalidInteger(Message, const std::string& message) : std::runtime_error(message) {}
};

// The error of a count or time box holding a negative integer: names the box
// (as the dialog labels it) and quotes the text as typed.
class NegativeInteger : public InvalidInteger {
 public:
  NegativeInteger(std::string_view box, std::string_view text);
};

// The error of the speed box holding a text that is not an integer within its range.
class SpeedOutOfRange : public InvalidInteger {
 public:
  explicit SpeedOutOfRange(std::string_view text);
};

// The error of the wait box holding a text that is not a whole number of
// seconds from kMinWaitSeconds to kMaxWaitSeconds: names the box and quotes
// the text as typed.
class WaitOutOfRange : public InvalidInteger {
 public:
  explicit WaitOutOfRange(std::string_view text);
};

// The error of a box holding a text that is not a whole number within its
// range: names the box, the range and quotes the text as typed.
class OutOfRange : public InvalidInteger {
 public:
  OutOfRange(std::string_view box, int32_t min, int32_t max, std::string_view text);
};

// The edit boxes' integer syntax: leading spaces, then either an optional
// sign and decimal digits within the signed 32-bit range, or, without a sign,
// up to eight hexadecimal digits after "$", "x" or "0x" (either case), taken
// as 32 bits. Nothing may follow the number.
std::optional<int32_t> TryParseInteger(std::string_view text);
// The same; throws InvalidInteger when the text is not an integer.
int32_t ParseInteger(std::string_view text);

// Converts the script-file name between the record's bytes (the system's
// ANSI code page) and the edit box's UTF-8.
using NameConversion = std::function<std::string(std::string_view)>;

// How a control of the dialog shows a field of the record: `box` is the
// control's member of SetupDialogState (a check box or radio button is known
// by the control's id alone), `field` the record's.
namespace links {
// A check box: the flag as it is.
struct Check {
  bool TSettings::*field;
};
// A loop-mode radio button: the flag, shown by the group's rule.
struct Radio {
  bool TSettings::*field;
};
// A count or time box: the number in decimal; read back, an integer that is
// not negative (NegativeInteger names the box as `name`).
struct Amount {
  std::string SetupDialogState::*box;
  int32_t TSettings::*field;
  const char* name;
};
// The speed box: the percentage in decimal; read back, an integer from
// kMinSpeedPercent to kMaxSpeedPercent (else SpeedOutOfRange).
struct Speed {
  std::string SetupDialogState::*box;
  int32_t TSettings::*field;
};
// The wait box: whole seconds in decimal; read back, an integer from
// kMinWaitSeconds to kMaxWaitSeconds (else WaitOutOfRange, also for a text
// that is no integer).
struct WaitSeconds {
  std::string SetupDialogState::*box;
  int32_t TSettings::*field;
};
// A box of a whole number from `min` to `max`: in decimal; read back, else
// OutOfRange naming the box as `name` (also for a text that is no integer).
struct Ranged {
  std::string SetupDialogState::*box;
  int32_t TSettings::*field;
  int32_t min, max;
  const char* name;
};
// A hot-key box: the shortcut code as it is.
struct HotKey {
  uint16_t SetupDialogState::*box;
  uint16_t TSettings::*field;
};
// The file name: the record's ANSI bytes as UTF-8 through the name conversions.
struct FileName {
  std::string SetupDialogState::*box;
  std::string TSettings::*field;
};
}  // namespace links

// One control of the dialog (its id in forms/setup_form.h) and the field it shows.
struct SetupField {
  int control;
  std::variant<links::Check, links::Radio, links::Amount, links::Speed, links::WaitSeconds, links::HotKey,
               links::FileName, links::Ranged>
      link;
};

// The dialog's fields: steps 1 to 26 of the record in order, then the speed,
// game mode, the screen mapping, what the Play hot key plays, whether
// positions follow their windows, the longest wait, the random share of
// delays, the least time and distance between recorded moves and the
// notification area. Filling, reading back
// and the window's controls all go by this one table.
std::span<const SetupField> SetupFields();

// Fills the dialog from the record, in the table's order. Radio buttons
// follow their group's rule, so with more than one loop mode set the last in
// fill order shows (by time over by count over until the key), and with none
// set all three are off.
SetupDialogState FillSetupDialog(const TSettings& s, const NameConversion& ansiToUtf8);

// Copies the dialog back into the record, in the table's order. A text that
// is not an integer throws InvalidInteger at its step, a negative number in
// one of the seven count and time boxes NegativeInteger, a speed outside 10
// to 10000 SpeedOutOfRange, a wait that is not 0 to 86400 seconds
// WaitOutOfRange: the steps before it have been applied, it and the later
// ones have not.
void ReadSetupDialog(const SetupDialogState& d, TSettings& s, const NameConversion& utf8ToAnsi);

// Whether the dialog can be read back as it stands: the first box (in the
// table's order) whose text cannot be taken, and the message that says why.
// The dialog then stays open on that box's page, with the box selected, and
// nothing is saved.
struct SetupRefusal {
  int control = 0;
  std::string message;
  bool operator==(const SetupRefusal&) const = default;
};
std::optional<SetupRefusal> CheckSetupDialog(const SetupDialogState& d);
// The page of the dialog (0 基本设置, 1 定时与控制, 2 脚本热键) a control is on.
int SetupPageOf(int control);

// Puts the script hot keys into the third page's rows, in order; the rows
// after them are blank, with one pass.
void FillScriptKeys(SetupDialogState& d, std::span<const ScriptHotKey> rows);

// The third page read back: the rows that are not blank, in the page's
// order, or why the first row that cannot be had cannot be. A row is refused
// when its passes are not a whole number from 1 to 2147483647, or for what
// ScriptHotKeyProblem finds against the first page's three hot keys and the
// rows above it; then, when `systemRefuses` is given, when it says the
// system will not give the program that key (another program holds it).
// Script names are taken without the spaces around them.
struct ScriptKeysRead {
  std::vector<ScriptHotKey> rows;
  std::string refusal;  // empty: every row can be had
  int row = -1;         // the refused row of the page, from 0; -1: none
};
ScriptKeysRead ReadScriptKeys(const SetupDialogState& d,
                              const std::function<bool(uint16_t shortcut)>& systemRefuses = {});

// The hot-key box's own value: the virtual key in the low byte and the
// system's HOTKEYF_* bits (Shift 1, Ctrl 2, Alt 4, extended key 8) in the
// high byte.
enum : uint8_t { kHotKeyShift = 0x01, kHotKeyControl = 0x02, kHotKeyAlt = 0x04, kHotKeyExt = 0x08 };
uint16_t HotKeyToShortcut(uint16_t hotKey);
// Extended keys (the navigation block, the keypad's divide, Num Lock, the
// Windows and menu keys) get the extended bit so the box names them right.
uint16_t ShortcutToHotKey(uint16_t shortcut);

// The dialog as the settings command sees it.
class ISetupDialog {
 public:
  virtual ~ISetupDialog() = default;
  // Puts the state into the controls.
  virtual void SetState(const SetupDialogState& state) = 0;
  // The state of the controls.
  virtual SetupDialogState State() = 0;
  // Shows the dialog modally; returns its modal result (1 when confirmed).
  virtual int ShowModal() = 0;
  // True while the dialog is open.
  virtual bool Showing() const = 0;
};

// Modal results.
enum : int { kResultConfirm = 1, kResultClose = 2, kResultGiveUp = 7 };

}  // namespace tesmuro::setup
