#include "util/path.h"

namespace tesmuro {

bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

bool IsAbsolutePath(std::string_view path) {
  if (!path.empty() && IsPathSeparator(path[0])) return true;
  const bool letter = !path.empty() && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  return letter && path.size() >= 2 && path[1] == ':';
}

std::string FolderOf(std::string_view path) {
  const size_t at = path.find_last_of("/\\");
  if (at == std::string_view::npos) return {};
  if (at == 0 || (at == 2 && path[1] == ':')) return std::string(path.substr(0, at + 1));
  return std::string(path.substr(0, at));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (path.empty() || IsPathSeparator(path.back())) return path.append(name);
#ifdef _WIN32
  constexpr char kSystemSeparator = '\\';
#else
  constexpr char kSystemSeparator = '/';
#endif
  const bool back = folder.find('\\') != std::string_view::npos;
  const bool forward = folder.find('/') != std::string_view::npos;
  path += back && !forward ? '\\' : forward && !back ? '/' : kSystemSeparator;
  return path.append(name);
}

std::string ResolvePath(std::string_view folder, std::string_view name) {
  if (IsAbsolutePath(name) || folder.empty()) return std::string(name);
  return JoinPath(folder, name);
}

}  // namespace tesmuro
