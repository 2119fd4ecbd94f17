// The Linux program's commands. Each returns the program's exit code:
// a run's verdict's (play/run_front.h: 0 played, 1 stopped by the user, 2 an
// error, 4 a wait that ran out of time); a recording ends with 0 or 2.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "linux/cli.h"
#include "linux/services.h"
#include "pack/export.h"
#include "play/playback_session.h"
#include "setup/settings.h"

namespace tesmuro::linux_cli {

constexpr int kExitOk = play::kExitPlayed;
constexpr int kExitError = play::kExitError;

// Records the X server's input into o.file until the stop key or a signal.
int RunRecord(const Options& o, const TSettings& settings, const Services& services);
// Plays o.file on the X server.
int RunPlay(const Options& o, const TSettings& settings, const Services& services);
// One script played as tesmuro play plays it: the file, the run's options
// (over the settings') and the display, and what the caller does besides
// while it runs.
struct PlayJob {
  std::string file;
  play::RunRequest run;
  std::optional<std::string> display;
  std::function<void()> eachLook;  // after each look at the keyboard and the signals
  // An exported program's own script, files and options, played in place of
  // the file with the settings (`file` then only names it).
  const pack::Payload* packed = nullptr;
};
// The run's exit code; `signalled` (may be null) is set when a signal stopped it.
int PlayScript(const PlayJob& job, const TSettings& settings, const Services& services,
               bool* signalled = nullptr);
// Listens for the keys of the rows file (o.rowsFile, else the one beside
// `settingsPath`) and plays each key's script, until a signal.
int RunHotkeys(const Options& o, const TSettings& settings, const std::string& settingsPath,
               const Services& services);
// Saves the screen, or o.area of it, as the PNG file o.file.
int RunCapture(const Options& o);
// Writes o.output: this program with o.file, the files it reaches and the
// settings' options (what o.run asks in their place) packed behind it.
int RunExport(const Options& o, const TSettings& settings);
// An exported program started with `args`: none plays what it carries,
// "--extract DIR" writes it out, "--help" tells what it is.
int RunPackedProgram(const pack::Payload& payload, const std::vector<std::string>& args,
                     const std::function<Services()>& services);
// Thins the recorded moves of the script o.file into o.output, or into the
// script itself; no display, no settings.
int RunThin(const Options& o);

}  // namespace tesmuro::linux_cli
