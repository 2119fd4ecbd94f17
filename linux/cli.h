// The command line of the Linux program, GNU style: a command, one file and
// options before or after it ("--loops 3" or "--loops=3"; "--" ends the
// options). Counts, durations and speeds are read as the Windows program
// reads them (play/run_texts.h).
//
//   tesmuro record FILE [--no-mouse] [--no-keys] [--append] [--game] [--settings FILE]
//   tesmuro play FILE [--loops N | --until-stop | --for H:M:S] [--speed X] [--scale]
//                     [--wait-limit SECONDS] [--seed N] [--settings FILE]
//   tesmuro capture FILE.png [--area X,Y,W,H]
//   tesmuro hotkeys [--file FILE] [--settings FILE]
//   tesmuro thin FILE [--tolerance PX] [-o OUT]
//   tesmuro export FILE -o OUT [--loops N | --until-stop | --for H:M:S] [--speed X] [--scale]
//                     [--wait-limit SECONDS] [--seed N] [--settings FILE]
//   tesmuro --help | --version
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "os/desktop.h"
#include "play/run_options.h"
#include "play/run_switches.h"

namespace tesmuro::linux_cli {

enum class Command { None, Help, Version, Record, Play, Capture, Hotkeys, Thin, Export };

struct Options {
  Command command = Command::None;
  std::string file;
  std::optional<std::string> settingsFile;
  std::optional<std::string> display;
  // record
  bool noMouse = false, noKeys = false, append = false;
  // play: at most one loop mode, the speed (10..10000), the screen mapping,
  // the wait limit (0..kMaxWaitLimitSeconds; 0: never wait for a window),
  // the seed of the random delays;
  // record: game mode alone (relative motion in place of positions; on:
  // whatever the settings say).
  play::RunRequest run;
  // capture: the area of the screen (none: all of it).
  std::optional<DesktopRect> area;
  // hotkeys: the rows file (none: the one beside the settings file).
  std::optional<std::string> rowsFile;
  // thin: the tolerance in pixels (none: the default) and the file to write
  // (none: the script itself); export: the program to write.
  std::optional<int32_t> tolerance;
  std::optional<std::string> output;
};

// The longest --wait-limit: a day.
using play::kMaxWaitLimitSeconds;

struct ParseResult {
  Options options;
  std::string error;  // UTF-8; empty when the line is good
};

ParseResult ParseCommandLine(const std::vector<std::string>& args);

// The usage text (UTF-8).
std::string UsageText();

}  // namespace tesmuro::linux_cli
