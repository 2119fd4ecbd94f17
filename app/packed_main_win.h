// The Windows program's two ways of meeting a payload: a program carrying one
// (an exported program) and /export, which writes one.
#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "pack/payload.h"

namespace tesmuro::win {

// The exported program: with no arguments it plays what it carries under a
// small notice near the notification area; "/?" tells what it carries, and
// "/extract DIR" writes it out. The exit code.
int RunPackedProgram(const pack::Payload& payload, const std::vector<std::string>& args);

// A payload that is there but damaged: said in a box; the exit code (2).
int RefuseDamagedProgram(const std::string& problem);

// /export FILE /o OUT.exe: writes the program with the settings' options (the
// settings are read, never written) and the command line's in their place.
// 0 when written; else the reason in a box and 2.
int ExportFromCommandLine(const CommandLine& commandLine);

}  // namespace tesmuro::win
