// File access with UTF-8 path names, whatever the system's code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace tesmuro {

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { if (f) std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// fopen with a UTF-8 path (on Windows through the wide API). On Windows a file
// opened only for reading ("r", "rb") is shared with every other reader, writer
// and deleter, so that a save can replace it while it is read (the reader goes
// on with the old contents), and paths beyond MAX_PATH are opened through their
// extended-length form.
std::FILE* OpenFile(const std::string& utf8Path, const char* mode);

// Reads a whole file in binary; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& utf8Path, std::string& out);

// Writes bytes to a new temporary file in the target's folder (see
// TemporaryPathFor), flushes it to disk and only then puts it in place of the
// target, so the target is either the old file or the complete new one. On
// failure the target is untouched, the temporary file is removed and the
// result is false. An existing file never serves as the temporary file.
// Windows does not replace a file that is open; one opened by OpenFile for
// reading (which shares deletion) is therefore renamed aside to a second
// temporary name, the new file takes its name and the old one is deleted once
// its readers close it. For that moment the name is free; a failure puts the
// old file back.
bool WriteFileAtomically(const std::string& utf8Path, std::string_view bytes);

// The temporary file's path for an atomic write of `target`: in the same
// folder, named "~" + eight hex digits of `unique` + ".tmp". The name is
// shorter than the target's own name would allow only when the full path would
// otherwise reach `limit` UTF-16 units while the target's path does not: then
// it keeps to the limit with fewer hex digits (at least one). A target so close
// to the limit that not even "~" plus one digit fits gets the full name.
std::string TemporaryPathFor(const std::string& target, uint32_t unique, size_t limit);

// A new, empty file for reading and writing ("w+b") that goes away when it is
// closed, also when the program ends any other way: on Windows in the user's
// temporary folder, deleted by the system on close. nullptr when none can be
// made.
std::FILE* OpenScratchFile();

// Platform halves of the above (file_io_win.cpp / file_io_posix.cpp).
namespace detail {
std::FILE* OpenFilePlatform(const std::string& utf8Path, const char* mode);
// Creates the file for writing ("wb"); fails, setting `exists`, if there is one.
std::FILE* CreateNewFile(const std::string& utf8Path, bool& exists);
bool FlushToDisk(std::FILE* f);
bool MoveIntoPlace(const std::string& tmpPath, const std::string& target);
bool RemoveFile(const std::string& path);
// The length, in UTF-16 units, that a path like this one must stay below to be
// usable everywhere: MAX_PATH (260) on Windows unless it has the \\?\ prefix;
// no limit elsewhere.
size_t PathLengthLimit(const std::string& utf8Path);
}  // namespace detail

}  // namespace tesmuro
