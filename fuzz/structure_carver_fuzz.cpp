// The structure walks over hostile bytes: each format's walk (the one the
// signature table picks, else one chosen by the first byte) in one piece and
// over clusters chosen around a few taken ones. A carve never reaches past
// what the source holds, a walk over every cluster in order ends where the
// walk in one piece does, and the clusters a guess names are free ones.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/exfat/carve_signatures.h"
#include "core/exfat/structure_carver.h"
#include "support/memory_device.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace dudorazu;
  if (size < kSignatureBytes || size > (1u << 20)) return 0;
  CarveFormat format = matchCarveSignature(data);
  if (format == CarveFormat::None || format == CarveFormat::Jpeg || format == CarveFormat::Ole2)
    format = static_cast<CarveFormat>(3 + data[0] % 12);  // IsoMedia .. MpegTs
  test::MemoryDevice device(std::string(reinterpret_cast<const char*>(data), size));
  CarveSource whole(device, 0, size);
  SearchMemo memo;
  whole.useSearchMemo(&memo);
  auto one = carveByStructure(format, whole);
  if (one && one->length > size) std::abort();

  // Clusters of 512 bytes from cluster 2 at byte 0; every cluster taken.
  const uint64_t clusters = (size + 511) / 512;
  auto position = [](uint32_t c) { return uint64_t{c - 2} * 512; };
  CarveSource all(device, ClusterChoice{2, 2 + clusters, 512, position, [](uint32_t) { return true; }}, size);
  auto same = carveByStructure(format, all);
  if (one.has_value() != same.has_value() || (one && (one->length != same->length || one->complete != same->complete)))
    std::abort();

  // Every third cluster taken by another file.
  CarveSource pieces(device, ClusterChoice{2, 2 + clusters, 512, position, [](uint32_t c) { return c % 3 != 0; }},
                     size);
  auto guess = carveByStructure(format, pieces);
  if (guess && guess->length > size) std::abort();
  // The scan keeps a guess only when the chosen clusters hold all of it:
  // then they are the ones chosen, and enough.
  if (guess) {
    const auto runs = pieces.clustersOf(guess->length);
    uint64_t covered = 0;
    for (const ClusterRun& run : runs) {
      if (run.first % 3 == 0 || run.first + run.count > 2 + clusters) std::abort();
      covered += uint64_t{run.count} * 512;
    }
    if (!runs.empty() && covered < guess->length) std::abort();
  }
  return 0;
}
