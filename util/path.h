// File paths as text (UTF-8), the same in both editions: a script written on
// one system names its pictures and a rows file its scripts in the other's
// style too, so both separators are read everywhere, and a Windows drive
// ("C:\", "c:/") or a UNC name ("\\server\share") counts as absolute on Linux
// as well.
#pragma once

#include <string>
#include <string_view>

namespace tesmuro {

// '/' or '\'.
bool IsPathSeparator(char c);

// A path that does not depend on a current folder: it starts with a
// separator (a POSIX root, a UNC name, the current drive's root) or with a
// drive letter and a colon.
bool IsAbsolutePath(std::string_view path);

// The folder a file is in, without the separator after it; empty for a bare
// name. A root keeps its separator: "/" and "C:\".
std::string FolderOf(std::string_view path);

// `name` in `folder`: one separator between them (the one the folder already
// uses, else the system's); `name` alone when the folder is empty.
std::string JoinPath(std::string_view folder, std::string_view name);

// A name a file gives (a script's picture, a rows file's script) as a path:
// an absolute name as it is, a relative one taken from `folder` (empty: the
// current folder).
std::string ResolvePath(std::string_view folder, std::string_view name);

}  // namespace tesmuro
