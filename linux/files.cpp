#include "linux/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "script/script_format.h"
#include "util/file_io.h"

namespace tesmuro::linux_files {

namespace {
std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v && *v ? v : "";
}

bool MakeDirs(const std::string& dir) {
  std::string path;
  for (std::size_t i = 0; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') {
      if (!path.empty() && ::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    if (i < dir.size()) path += dir[i];
  }
  return true;
}

std::string Folder(const char* xdgVar, const char* fallback) {
  std::string base = Env(xdgVar);
  if (base.empty() || base[0] != '/') {
    const std::string home = Env("HOME");
    if (home.empty()) return "";
    base = home + fallback;
  }
  return base + "/tesmuro";
}
}  // namespace

std::string DefaultSettingsPath() {
  const std::string dir = Folder("XDG_CONFIG_HOME", "/.config");
  return (dir.empty() ? std::string(".") : dir) + "/" + kSettingsFileName;
}

bool LoadSettings(const std::string& path, bool named, TSettings& settings, std::string& error,
                  std::string& notice) {
  settings = ConstructionSettings();
  std::string bytes;
  std::string readError;
  if (ReadFile(path, bytes, readError)) {
    ParseSettings(bytes, settings);
    return true;
  }
  if (named || errno != ENOENT) {
    error = "无法读取设置文件 " + path + "：" + readError;
    return false;
  }
  const std::size_t slash = path.rfind('/');
  std::string writeError;
  if ((slash == std::string::npos || MakeDirs(path.substr(0, slash))) &&
      WriteFileAtomically(path, FormatSettings(settings), writeError))
    return true;
  notice = "无法创建设置文件 " + path + "，使用默认设置。";
  return true;
}

bool IsGbkText(std::string_view bytes, std::size_t& offset) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == 0 || c == 0x80 || c == 0xFF) {
      offset = i;
      return false;
    }
    if (c < 0x80) continue;
    if (i + 1 >= bytes.size()) {
      offset = i;
      return false;
    }
    const auto t = static_cast<unsigned char>(bytes[i + 1]);
    if (t < 0x40 || t == 0x7F || t == 0xFF) {
      offset = i;
      return false;
    }
    ++i;
  }
  return true;
}

bool LooksLikeUtf8(std::string_view bytes) {
  bool nonAscii = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    int n = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (n < 0 || i + n >= bytes.size()) return false;  // not a lead byte, or its trail bytes cut off
    for (int k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    if (n > 0) nonAscii = true;
    i += n + 1;
  }
  return nonAscii;
}

bool ReadFile(const std::string& path, std::string& bytes, std::string& error) {
  errno = 0;
  if (tesmuro::ReadWholeFile(path, bytes)) return true;
  const int e = errno ? errno : EIO;
  error = std::strerror(e);
  errno = e;
  return false;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
  errno = 0;
  if (tesmuro::WriteFileAtomically(path, bytes)) return true;
  error = std::strerror(errno ? errno : EIO);
  return false;
}

std::string RecoveryPath() {
  std::string dir = Folder("XDG_STATE_HOME", "/.local/state");
  if (dir.empty() || !MakeDirs(dir)) dir = "/tmp";
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  return dir + "/recovered-" + stamp + "-" + std::to_string(::getpid()) + ".crec";
}

std::string ScriptTextProblem(const std::string& file, std::string_view bytes, std::string_view untouched) {
  std::size_t bad = 0;
  if (!IsGbkText(bytes, bad))
    return file + " 不是 GBK 文本（第 " + std::to_string(bad + 1) + " 个字节无效）" + std::string(untouched) +
           "。脚本必须是 GBK 编码，例如：iconv -f UTF-8 -t GBK";
  if (LooksLikeUtf8(bytes) && bytes.find(script::kKeywordDelay) == std::string_view::npos &&
      bytes.find("\xE5\xBB\xB6\xE8\xBF\x9F") != std::string_view::npos)  // 延迟 in UTF-8
    return file + " 是 UTF-8 文本，而脚本必须是 GBK 编码" + std::string(untouched) +
           "。请先转换：iconv -f UTF-8 -t GBK";
  return {};
}

}  // namespace tesmuro::linux_files
