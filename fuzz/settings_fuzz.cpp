// Feeds arbitrary bytes to the settings reader, both from memory and through
// a C stream, and checks that both read the same record.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "setup/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tesmuro::TSettings fromMemory = tesmuro::ConstructionSettings();
  tesmuro::ParseSettings(bytes, fromMemory);
  if (fromMemory.AutoFileName.size() > tesmuro::kAutoFileNameMax) std::abort();

  std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (f) {
    tesmuro::TSettings fromFile = tesmuro::ConstructionSettings();
    tesmuro::ParseSettings(f, fromFile);
    std::fclose(f);
    if (!(fromFile == fromMemory)) std::abort();
  }

  // Whatever was read writes back and reads back the same.
  tesmuro::TSettings again = tesmuro::ConstructionSettings();
  tesmuro::ParseSettings(tesmuro::FormatSettings(fromMemory), again);
  if (fromMemory.AutoFileName.find_first_of("\r\n") == std::string::npos && !(again == fromMemory)) std::abort();
  return 0;
}
