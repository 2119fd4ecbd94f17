#include "play/integrity.h"

namespace tesmuro::play {

bool InputRefusedByTarget(std::optional<uint32_t> own, const TargetIntegrity& target) {
  if (target.level) return own && *target.level > *own;
  // A process we may not query runs above us, unless we are at the top already.
  return target.accessDenied && !(own && *own >= 0x4000);
}

}  // namespace tesmuro::play
