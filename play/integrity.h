// Whether the system lets our injected input reach a window, from the
// integrity levels of our process and of the window's.
//
// Windows drops injected input on its way to a process of a higher integrity
// level (one that runs as administrator, when we do not) without a word. The
// levels are the mandatory label RIDs (low 0x1000, medium 0x2000, high 0x3000,
// system 0x4000). A process that we may not even query is taken for a higher
// one: that is what refusing the query means in practice.
#pragma once

#include <cstdint>
#include <optional>

namespace tesmuro::play {

inline constexpr uint32_t kIntegrityMedium = 0x2000;
inline constexpr uint32_t kIntegrityHigh = 0x3000;

struct TargetIntegrity {
  bool accessDenied = false;        // the target's process could not be opened or queried: denied
  std::optional<uint32_t> level;    // its level, when it could be read
};

// `own`: our level, when known. Nothing known about either side: input is
// taken to reach the target (no warning on a system without levels).
bool InputRefusedByTarget(std::optional<uint32_t> own, const TargetIntegrity& target);

}  // namespace tesmuro::play
