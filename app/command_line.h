// The program's command line:
//
//   Tesmuro.exe [FILE]
//   Tesmuro.exe /play FILE [/loops N | /for H:M:S] [/speed X] [/seed N] [/game] [/scale] [/exit]
//   Tesmuro.exe /export FILE /o OUT.exe [/loops N | /for H:M:S] [/speed X] [/game] [/scale]
//   Tesmuro.exe /?
//
// FILE alone is opened as Load opens it. /play plays FILE at start-up with the
// current settings; /loops N plays N passes (the count mode), /for H:M:S
// passes for that long (the timed mode) and /speed X at X times the recorded
// pace, for this run only (the numbers are read as the Linux program reads
// them, play/run_texts.h); /seed N fixes that run's random draws (random
// delays, the settings' share of every delay); /exit closes the program when
// the run ends, with exit code 0 (played to the end), 1 (stopped by the user)
// or 2 (an error; then no box waits for a click), 3 (the system dropped the
// input on its way to an elevated window) or 4 (a wait for a window or a
// colour ran out of time). /game and /scale switch game mode
// and the mapping onto the current screen on for this run of the program;
// they may also stand without /play. /export writes OUT.exe, a copy of the
// program that plays FILE with the settings' options and the switches given
// (pack/export.h), and ends. Switches are
// case-insensitive and may start with '-' instead of '/'.
#pragma once

#include <string>
#include <vector>

#include "play/run_front.h"
#include "play/run_options.h"

namespace tesmuro {

// Exit codes of a run with /exit: the run's verdict's (play/run_front.h).
using play::kExitBlocked;
using play::kExitError;
using play::kExitPlayed;
using play::kExitStopped;
using play::kExitWaitTimedOut;

struct CommandLine {
  enum class Action { None, Open, Play, Export, Usage };
  Action action = Action::None;
  std::string file;  // UTF-8
  // /loops, /for, /speed and /seed for the run of /play; /game and /scale for every
  // run of the program (the settings file is not changed).
  play::RunRequest run;
  bool exitWhenDone = false;
  std::string output;  // /export: the program to write (UTF-8)
  // What is wrong with the command line (UTF-8); empty when nothing is.
  std::string error;
};

// `args` are the arguments after the program's name, UTF-8.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage text that /? shows.
const char* CommandLineUsage();

}  // namespace tesmuro
