#include "app/picture_capture.h"

#include "script/script_format.h"
#include "util/path.h"
#include "util/text.h"

namespace tesmuro::capture {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string ProposeName(std::string_view folder, const std::function<bool(const std::string&)>& exists) {
  for (int32_t n = 1;; ++n) {
    std::string name = "图像" + ToDec(n) + ".png";
    if (!exists(JoinPath(folder, name)) || n == INT32_MAX) return name;
  }
}

std::string NameInFolder(std::string_view folder, std::string_view path) {
  size_t n = folder.size();
  while (n > 0 && IsPathSeparator(folder[n - 1])) --n;
  if (n == 0 || path.size() <= n + 1 || !IsPathSeparator(path[n])) return std::string(path);
  for (size_t i = 0; i < n; ++i) {
    const bool same = IsPathSeparator(folder[i]) ? IsPathSeparator(path[i]) : Lower(folder[i]) == Lower(path[i]);
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
