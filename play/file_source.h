// Where a run reads the files its script reaches: the pictures of its waits
// and the scripts it calls. A run without one reads the disk; an exported
// program hands its runs the files packed into it, so that nothing beside it
// on the disk is ever read in their place.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace tesmuro::play {

class IFileSource {
 public:
  virtual ~IFileSource() = default;
  // The file at `path` (UTF-8, as the script's folder resolves the name the
  // script gives: ResolvePath), opened for reading in binary from its start;
  // the caller closes it. nullptr when there is none.
  virtual std::FILE* Open(const std::string& path) const = 0;
};

// The disk, through util/file_io.h.
const IFileSource& DiskFiles();

// The files of a run: its own source, else the disk.
inline const IFileSource& FilesOf(const std::shared_ptr<const IFileSource>& source) {
  return source ? *source : DiskFiles();
}

}  // namespace tesmuro::play
