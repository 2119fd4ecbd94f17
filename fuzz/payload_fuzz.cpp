// Feeds arbitrary bytes to the payload reader, both as what follows a
// program's image and as a whole program file: nothing may be read outside
// them, and whatever is accepted writes back to exactly the same bytes (the
// format has one way of writing each payload).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "pack/payload.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const tesmuro::pack::PayloadRead r = tesmuro::pack::ReadPayload(bytes);
  if (r.state == tesmuro::pack::PayloadState::Valid && tesmuro::pack::WritePayload(r.payload) != bytes) std::abort();
  if (r.state == tesmuro::pack::PayloadState::Damaged && r.problem.empty()) std::abort();
  if (const auto end = tesmuro::pack::ImageEnd(bytes); end && *end > size) std::abort();
  tesmuro::pack::ReadProgramPayload(bytes);
  return 0;
}
