#include "app/picture_capture.h"

#include "script/script_format.h"
#include "util/text.h"

namespace tesmuro::capture {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string FolderOf(std::string_view path) {
  const size_t at = path.find_last_of("/\\");
  if (at == std::string_view::npos) return {};
  // The root keeps its separator: "/" and "C:\".
  if (at == 0 || (at == 2 && path[1] == ':')) return std::string(path.substr(0, at + 1));
  return std::string(path.substr(0, at));
}

std::string ProposeName(std::string_view folder, const std::function<bool(const std::string&)>& exists) {
  std::string base(folder);
  if (!base.empty() && !IsSeparator(base.back())) base += folder.find('\\') != std::string_view::npos ? '\\' : '/';
  for (int32_t n = 1;; ++n) {
    std::string name = "图像" + ToDec(n) + ".png";
    if (!exists(base + name) || n == INT32_MAX) return name;
  }
}

std::string NameInFolder(std::string_view folder, std::string_view path) {
  size_t n = folder.size();
  while (n > 0 && IsSeparator(folder[n - 1])) --n;
  if (n == 0 || path.size() <= n + 1 || !IsSeparator(path[n])) return std::string(path);
  for (size_t i = 0; i < n; ++i) {
    const bool same = IsSeparator(folder[i]) ? IsSeparator(path[i]) : Lower(folder[i]) == Lower(path[i]);
    if (!same) return std::string(path);
  }
  return std::string(path.substr(n + 1));
}

std::string WaitImageLine(std::string_view name, int32_t seconds, const DesktopRect& area) {
  std::string line(script::kKeywordWaitImage);
  line += ' ';
  line += script::QuotedToken(name);
  line += " 0 " + ToDec(seconds) + ' ';
  line += ToDec(area.left) + ',' + ToDec(area.top) + ',' + ToDec(area.width) + ',' + ToDec(area.height);
  return line;
}

}  // namespace tesmuro::capture
