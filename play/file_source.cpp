#include "play/file_source.h"

#include "util/file_io.h"

namespace tesmuro::play {
namespace {

class Disk final : public IFileSource {
 public:
  std::FILE* Open(const std::string& path) const override { return OpenFile(path, "rb"); }
};

}  // namespace

const IFileSource& DiskFiles() {
  static const Disk disk;
  return disk;
}

}  // namespace tesmuro::play
