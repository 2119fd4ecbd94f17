#include "pack/packed_files.h"

#include <cctype>

#include "util/file_io.h"

namespace tesmuro::pack {
namespace {
bool SameIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}
}  // namespace

PackedFiles::PackedFiles(const std::vector<PackedFile>& files, NewScratchFile newScratchFile)
    : newScratchFile_(std::move(newScratchFile)) {
  for (const PackedFile& f : files) files_.emplace(NormalizeName(f.name), f.bytes);
  if (!newScratchFile_) newScratchFile_ = [] { return OpenScratchFile(); };
}

const std::string* PackedFiles::Find(const std::string& path) const {
  const std::string name = NormalizeName(path);
  if (auto it = files_.find(name); it != files_.end()) return &it->second;
  for (const auto& [n, bytes] : files_)
    if (SameIgnoringCase(n, name)) return &bytes;
  return nullptr;
}

std::FILE* PackedFiles::Open(const std::string& path) const {
  const std::string* bytes = Find(path);
  if (!bytes) return nullptr;
  std::FILE* f = newScratchFile_();
  if (!f) return nullptr;
  if (std::fwrite(bytes->data(), 1, bytes->size(), f) != bytes->size() || std::fflush(f) != 0) {
    std::fclose(f);
    return nullptr;
  }
  std::rewind(f);
  return f;
}

}  // namespace tesmuro::pack
