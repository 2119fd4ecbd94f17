#include "util/file_io.h"

#include <atomic>
#include <chrono>

namespace tesmuro {

std::FILE* OpenFile(const std::string& utf8Path, const char* mode) {
  return detail::OpenFilePlatform(utf8Path, mode);
}

bool ReadWholeFile(const std::string& utf8Path, std::string& out) {
  UniqueFile f(OpenFile(utf8Path, "rb"));
  if (!f) return false;
  std::string data;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) data.append(buf, n);
  if (std::ferror(f.get())) return false;
  out.swap(data);
  return true;
}

bool WriteFileAtomically(const std::string& utf8Path, std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  const auto stamp = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  const std::string tmp = utf8Path + ".tmp" + std::to_string(stamp % 1000000) + "-" +
                          std::to_string(counter.fetch_add(1));
  std::FILE* f = OpenFile(tmp, "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = ok && detail::FlushToDisk(f);
  ok = (std::fclose(f) == 0) && ok;
  if (ok) ok = detail::MoveIntoPlace(tmp, utf8Path);
  if (!ok) detail::RemoveFile(tmp);
  return ok;
}

}  // namespace tesmuro
