// The files packed with a script, as a run reads them (play/file_source.h):
// the pictures and called scripts of an exported program come from here and
// never from the disk beside it.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "pack/payload.h"
#include "play/file_source.h"

namespace tesmuro::pack {

class PackedFiles final : public play::IFileSource {
 public:
  using NewScratchFile = std::function<std::FILE*()>;
  // `newScratchFile` makes the empty, self-deleting file an opened file is
  // copied into; none: the system's temporary file.
  explicit PackedFiles(const std::vector<PackedFile>& files, NewScratchFile newScratchFile = {});

  // The file a path names (NormalizeName; ASCII letters of either case when
  // no name matches exactly, as the Windows program finds them on a disk).
  const std::string* Find(const std::string& path) const;
  std::FILE* Open(const std::string& path) const override;

 private:
  std::map<std::string, std::string> files_;
  NewScratchFile newScratchFile_;
};

}  // namespace tesmuro::pack
