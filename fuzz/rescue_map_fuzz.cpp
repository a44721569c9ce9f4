// The mapfile parser over arbitrary text, and what the passes ask of a map
// it accepted: every query stays inside the extent and the text reads back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/device/rescue_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  std::optional<dudorazu::RescueMap> map =
      dudorazu::RescueMap::parse(std::string(reinterpret_cast<const char*>(data), size), error);
  if (!map) return 0;
  const dudorazu::ByteRange extent = map->extent();
  map->counts(extent);
  map->unfinished(extent);
  map->grid(extent, 64);
  map->nextArea(dudorazu::RescueState::NonTried, extent.start(), true, extent);
  map->nextArea(dudorazu::RescueState::Bad, extent.end(), false, extent);
  std::optional<dudorazu::RescueMap> again = dudorazu::RescueMap::parse(map->text(), error);
  if (!again || again->areas() != map->areas()) std::abort();
  return 0;
}
