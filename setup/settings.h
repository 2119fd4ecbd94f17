// The settings record and its file, "Quorlin.qlset" beside the executable:
// 36 lines, each ended by CR LF, the meaning of a line given by its position.
// The lines after the 26th came later, each at the end: the playback speed
// (27), game mode (28), the mapping onto the current screen (29), what the
// Play hot key plays (30), whether positions follow their windows (31), the
// longest wait for a window or a colour in seconds (32), the random share
// of every delay in percent (33), the least time (34, ms) and distance (35,
// pixels) between two recorded moves and whether minimising puts the program
// in the notification area (36). A file that ends before one of them is read
// with its default (100 %, off, off, off, on, 10, 0, 0, 0, off).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "play/run_options.h"
#include "play/speed.h"
#include "record/recording_options.h"

namespace tesmuro {

struct TSettings {
  bool RecMouse = false;
  bool RecKey = false;
  bool RecJoy = false;
  bool RecMouseMsg = false;
  bool RecKeyMsg = false;
  int32_t LoopCount = 0;
  int32_t LoopHours = 0;
  int32_t LoopMinutes = 0;
  int32_t LoopSeconds = 0;
  bool LoopUntilKey = false;
  bool LoopByCount = false;
  bool LoopByTime = false;
  bool ShortCutControl = false;
  uint16_t StartKey = 0;
  uint16_t StopKey = 0;
  uint16_t RecordKey = 0;
  bool ShutAfterLoops = false;
  bool ShutAfterElapsed = false;
  bool AutoRun = false;
  int32_t ShutHours = 0;
  int32_t ShutMinutes = 0;
  int32_t ShutSeconds = 0;
  std::string AutoFileName;  // bytes in the system's ANSI code page, as stored in the file
  bool AutoPlay = false;
  bool PostJoy = false;
  bool SendInputJoy = false;
  // Playback speed in percent of the recorded pace: every delay is divided
  // by SpeedPercent / 100.
  int32_t SpeedPercent = kNormalSpeedPercent;
  // Game mode: recording writes the mouse's relative motion, playback sends
  // keys as scan codes only.
  bool GameMode = false;
  // Moves recorded on another screen are mapped onto the current one.
  bool ScaleToScreen = false;
  // The Play hot key plays the script box's text as it stands (the command
  // 播放当前动作记录) instead of asking for a file.
  bool PlayKeyPlaysMemo = false;
  // Positions follow a window that stands elsewhere than it was recorded.
  bool FollowWindows = true;
  // The longest wait for a window or a colour, in seconds (0: never wait,
  // only follow), kMinWaitSeconds..kMaxWaitSeconds.
  int32_t WaitWindowSeconds = 10;
  // Every delay of a run varies by up to this share either way, in percent
  // (kMinJitterPercent..kMaxJitterPercent).
  int32_t DelayJitterPercent = 0;
  // A move is recorded once this many milliseconds have passed or the
  // pointer has gone this many pixels since the last recorded one (0 and 0:
  // every move).
  int32_t MoveIntervalMs = 0;
  int32_t MoveMinDistance = 0;
  // Minimising puts the program in the notification area.
  bool MinimizeToTray = false;

  bool operator==(const TSettings&) const = default;
};

inline constexpr char kSettingsFileName[] = "Quorlin.qlset";
inline constexpr int32_t kMinWaitSeconds = 0;
inline constexpr int32_t kMaxWaitSeconds = 86400;
inline constexpr size_t kAutoFileNameMax = 1000;
inline constexpr int32_t kMinJitterPercent = 0, kMaxJitterPercent = play::kMaxDelaySharePercent;
inline constexpr int32_t kMaxMoveIntervalMs = 60000;
inline constexpr int32_t kMaxMoveDistance = 10000;

// The values the main window starts with: the five recording switches on,
// everything else zero, false or empty.
TSettings ConstructionSettings();

// The 36 lines of the file.
std::string FormatSettings(const TSettings& s);

// Reads the file's lines into `s`. A number that cannot be read leaves its
// field as it was; so does a flag whose line is missing, a speed outside
// kMinSpeedPercent..kMaxSpeedPercent, a wait outside
// kMinWaitSeconds..kMaxWaitSeconds, a random share outside
// kMinJitterPercent..kMaxJitterPercent, a move interval outside
// 0..kMaxMoveIntervalMs and a move distance outside 0..kMaxMoveDistance.
// Never reads more
// than the bytes it needs and never fails on bad input.
void ParseSettings(std::FILE* f, TSettings& s);
void ParseSettings(std::string_view bytes, TSettings& s);

using play::RunRequest;

// The on/off switches of `request` alone (what every run of the program
// takes from its command line), without its loops, speed and limits.
RunRequest RunSwitchesOf(const RunRequest& request);

// A run's options: the settings' loop mode (by count, else timed, else until
// stopped, else one pass), times as 64-bit sums so that no stored number can
// overflow into a short or negative time, the shutdown when asked, the
// controller switches, the speed, game mode and the screen mapping; then
// what the request says in their place.
play::RunOptions RunOptionsFor(const TSettings& s, const RunRequest& request = {});

// What one recording is asked besides the settings (a command line's
// switches, for that recording only).
struct RecordingRequest {
  bool gameMode = false;  // on for this recording (off: as the settings say)
  bool noMouse = false;   // the mouse is left out; the keys are recorded whatever the settings say
  bool noKeys = false;    // the keys are left out; the mouse is recorded whatever the settings say
  // Of the hot keys only Stop: a program that does nothing but record has no
  // Record or Play for a key to start.
  bool stopKeyOnly = false;
};

// A recording's options: the recorders the settings switch on, then what the
// request says in their place; game mode, by the settings or the request,
// where the mouse is recorded; the settings' hot keys and their switch. The
// screen is the caller's to measure.
RecordingOptions RecordingOptionsFor(const TSettings& s, const RecordingRequest& request = {});

}  // namespace tesmuro
