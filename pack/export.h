// Sharing a script as a program: what a script packs into, the program
// written with it, and what an exported program does with what it carries.
#pragma once

#include <string>

#include "pack/packed_files.h"
#include "pack/payload.h"
#include "play/run_options.h"
#include "setup/settings.h"

namespace tesmuro::pack {

// The packed options of a run with the settings and what `request` asks in
// their place (as a run of the program would be started), with the
// settings' stop key; never a shutdown.
PackedRun PackedRunFor(const TSettings& settings, const play::RunRequest& request);

struct ExportPlan {
  Payload payload;
  std::string error;  // UTF-8, no full stop; empty when it can be written
};
// Reads the script at `scriptPath` (UTF-8) and every file it reaches
// (FilesReached). A script or a reached file that is missing refuses the
// export with what is missing, and its line.
ExportPlan PlanExport(const std::string& scriptPath, const PackedRun& run);

// Writes `output` in one piece: the image of the program file at
// `programPath` (without anything that follows its image, such as a payload
// of its own) and then `payload`. Empty when written; else why not (UTF-8,
// no full stop), and `output` is as it was. The script's own file and the
// program itself are never written over.
std::string WriteExportedProgram(const std::string& programPath, const Payload& payload,
                                 const std::string& output, const std::string& scriptPath = {});

// What an exported program plays: its script from the payload (as a text of
// its own, not a file), with the packed options, every file it reaches read
// from the payload only.
struct PackedPlay {
  play::ScriptSource source;
  play::RunOptions options;
};
PackedPlay PlayOf(const Payload& payload, PackedFiles::NewScratchFile newScratchFile = {});

// The files a payload carries, one a line with its size: "NAME（N 字节）"
// (the script first). UTF-8.
std::string DescribeFiles(const Payload& payload);
// The packed options in words, one a line: passes or time, speed, the modes
// that are on, the wait limit, the stop keys. UTF-8.
std::string DescribeOptions(const PackedRun& run);
// A size for people: "523 字节", "12.5 KB", "3.2 MB".
std::string SizeText(uint64_t bytes);

// Writes the script and its files into `folder` (made when missing), each
// under ExtractName of its name. An existing file is never written over: the
// extraction is refused before anything is written. Empty when done, else
// why not (UTF-8, no full stop).
std::string ExtractPayload(const Payload& payload, const std::string& folder);

}  // namespace tesmuro::pack
