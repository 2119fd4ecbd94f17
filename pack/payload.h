// A script packed into a program: the payload an exported program carries
// after its own image (a PE file's overlay, or the bytes after an ELF file's
// last section), the same bytes in both editions.
//
// The payload is the body, then a trailer of fixed size at the very end of
// the file:
//
//   body    "TSMRPACK"
//           u32 R, then R bytes: the run's options (PackedRun, kRunBytes)
//           u32 N, N bytes: the script's name (UTF-8); u32 S, S bytes: the script
//           u32 F (the files the script reaches), then F times:
//             u32 N, N bytes: the file's name (UTF-8, see PackedFile); u32 S, S bytes
//   trailer "TSMRTAIL", u32 version (kPayloadVersion), u32 CRC-32 of the body,
//           u64 the body's length
//
// Numbers are little-endian. A program reads its own file, finds where its
// image ends (ImageEnd) and takes what follows as the payload: nothing
// there is a plain program; anything there that is not exactly one sound
// payload (a cut, a changed byte, a trailer whose lengths disagree with the
// file, a CRC that does not match, options out of their range) is refused
// as a whole before any of it is used. No length read from the payload is
// trusted before it has been checked against the bytes that are there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "play/run_options.h"

namespace tesmuro::pack {

inline constexpr uint32_t kPayloadVersion = 1;
inline constexpr size_t kTrailerBytes = 24;
inline constexpr size_t kRunBytes = 36;
// No name in a payload is longer than this, and no payload holds more files:
// far beyond what a script reaches, and a bound a forged count cannot pass.
inline constexpr size_t kMaxNameBytes = 4096;
inline constexpr size_t kMaxFiles = 65536;

// The options a packed script plays with: the run's, and the stop key the
// exported program listens for (the emergency stop always works).
struct PackedRun {
  play::RunOptions options;  // the loop mode, passes or time, speed, game mode,
                             // screen mapping, following windows, wait limit,
                             // delay share, seed, controller delivery
  bool hotKeys = false;      // the stop key below is on
  uint16_t stopKey = 0;      // as the settings file keeps it
  bool operator==(const PackedRun&) const = default;
};

// A file the script reaches. Its name is the path as the script's own folder
// sees it: relative names from the script's folder with '/' between their
// parts and no "." or ".." parts but leading ones; absolute names as written,
// with '/' (NormalizeName).
struct PackedFile {
  std::string name;
  std::string bytes;
  bool operator==(const PackedFile&) const = default;
};

struct Payload {
  std::string scriptName;  // the script's file name, without its folder (UTF-8)
  std::string script;      // its bytes (GBK)
  std::vector<PackedFile> files;
  PackedRun run;
  bool operator==(const Payload&) const = default;
};

// The body and the trailer, to be appended to a program's image.
std::string WritePayload(const Payload& payload);

enum class PayloadState {
  None,     // nothing after the image: a plain program
  Valid,
  Damaged,  // something after the image that is not a sound payload
};

struct PayloadRead {
  PayloadState state = PayloadState::None;
  Payload payload;      // Valid only
  std::string problem;  // Damaged: what is wrong (UTF-8, for the user; no full stop)
};

// Reads the bytes after a program's image: empty is None; otherwise they
// must be exactly one payload.
PayloadRead ReadPayload(std::string_view afterImage);

// Where the image of a program file ends: the furthest byte its headers
// account for (PE: the headers, the sections, the symbol table and its
// strings, a signature; ELF: the program and section headers and what they
// describe). Nothing when the bytes are not a little-endian PE or ELF file or
// their headers point outside them.
std::optional<uint64_t> ImageEnd(std::string_view file);

// A program file's payload: what follows its image (ReadPayload). A file
// whose image cannot be told counts as damaged.
PayloadRead ReadProgramPayload(std::string_view file);

// The standard CRC-32 (reflected, polynomial EDB88320, as zip and PNG use),
// continued from `crc` (0 to start).
uint32_t Crc32(std::string_view bytes, uint32_t crc = 0);

// `name` as a packed file's name (PackedFile): separators as '/', "." parts
// and doubled separators gone, a ".." part taking away the part before it
// (leading ones kept). "" stays "".
std::string NormalizeName(std::string_view name);

// Where /extract puts a packed file inside its folder: the name with every
// part that could lead out of the folder (a drive, a root, "..") made
// harmless, so that no payload can write outside it.
std::string ExtractName(std::string_view name);

}  // namespace tesmuro::pack
