#include "util/file_io.h"

#include <atomic>
#include <chrono>

#include "util/text.h"

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

std::string TemporaryPathFor(const std::string& target, uint32_t unique, size_t limit) {
  const size_t cut = target.find_last_of("/\\");
  const std::string folder = cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
  static const char kHex[] = "0123456789abcdef";
  std::string digits;
  for (int shift = 28; shift >= 0; shift -= 4) digits += kHex[(unique >> shift) & 0xFu];

  const size_t folderUnits = Utf8ToUtf16(folder).size();
  const size_t targetUnits = Utf8ToUtf16(target).size();
  constexpr size_t kFixed = 5;  // "~" and ".tmp"
  if (targetUnits < limit && folderUnits + kFixed + digits.size() >= limit && folderUnits + 2 < limit) {
    // Within the limit with fewer digits and, when even that is too long, no extension.
    const size_t room = limit - 1 - folderUnits;  // units the name may have
    if (room >= kFixed + 1) return folder + "~" + digits.substr(digits.size() - (room - kFixed)) + ".tmp";
    return folder + "~" + digits.substr(digits.size() - (room - 1));
  }
  return folder + "~" + digits + ".tmp";
}

bool WriteFileAtomically(const std::string& utf8Path, std::string_view bytes) {
  static std::atomic<uint32_t> counter{0};
  const auto stamp = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  const size_t limit = detail::PathLengthLimit(utf8Path);
  std::string tmp;
  std::FILE* f = nullptr;
  // A short name can be taken already: then the next one (a few tries only, as
  // with few digits there are few names).
  for (int attempt = 0; attempt < 32 && !f; ++attempt) {
    const uint32_t unique = static_cast<uint32_t>((stamp ^ (stamp >> 32)) * 2654435761u) +
                            counter.fetch_add(1) * 0x9E3779B9u;
    tmp = TemporaryPathFor(utf8Path, unique, limit);
    bool exists = false;
    f = detail::CreateNewFile(tmp, exists);
    if (!f && !exists) break;
  }
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = ok && detail::FlushToDisk(f);
  ok = (std::fclose(f) == 0) && ok;
  if (ok) ok = detail::MoveIntoPlace(tmp, utf8Path);
  if (!ok) detail::RemoveFile(tmp);
  return ok;
}

}  // namespace tesmuro
