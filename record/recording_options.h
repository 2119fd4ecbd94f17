// What a recording is started with: one record of options, which both
// programs build with RecordingOptionsFor (setup/settings.h) and the
// recording session reads.
#pragma once

#include <cstdint>

#include "os/screen.h"

namespace tesmuro {

// The hot keys the keyboard recorder serves (Shortcut codes, util/shortcut.h;
// 0 for none) and their switch.
struct HotKeys {
  uint16_t record = 0;
  uint16_t play = 0;
  uint16_t stop = 0;
  bool enabled = true;
  bool operator==(const HotKeys&) const = default;
};

// Everything a recording is started with.
struct RecordingOptions {
  bool mouse = false;     // the mouse recorder
  bool keys = false;      // the keyboard recorder
  bool joy = false;       // the controllers
  bool gameMode = false;  // relative motion in place of positions
  HotKeys hotKeys;
  // A move is written once this many milliseconds have passed or the
  // pointer has gone this many pixels since the last written move (both 0:
  // every move); the position where a button, the wheel or a key acts is
  // always written first.
  int32_t moveIntervalMs = 0;
  int32_t moveMinDistance = 0;
  // The screen the recording is made on, its first line, so that a player
  // on another screen can tell; not known: no such line.
  ScreenRect screen;
  bool operator==(const RecordingOptions&) const = default;
};

}  // namespace tesmuro
