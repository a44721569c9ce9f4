#include "core/exfat/ole2_carver.h"

#include <cstring>

#include "core/common/byte_order.h"
#include "core/common/text.h"
#include "core/exfat/jpeg_carver.h"

namespace dudorazu {
namespace {

constexpr uint8_t kOle2Signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
// "\x05Sum" in UTF-16: the start of "\x05SummaryInformation".
constexpr uint8_t kSummaryName[8] = {0x05, 0x00, 0x53, 0x00, 0x75, 0x00, 0x6D, 0x00};

constexpr size_t kHeaderSectorShift = 30;
constexpr size_t kHeaderFatSectors = 44;
constexpr size_t kHeaderFirstDirectorySector = 48;
constexpr size_t kDirectoryEntrySize = 128;
constexpr size_t kDirectoryStartSector = 116;

constexpr size_t kReadBytes = 1024;
// The reads are this much larger and zero, so a property that points at the
// last bytes of the 1024 read finds zeros instead of running off the buffer.
constexpr size_t kPadding = 16;

constexpr size_t kSection = 48;
constexpr uint32_t kPropertyTitle = 2;
constexpr uint32_t kPropertyAuthor = 4;
constexpr uint32_t kPropertyApplication = 18;
constexpr uint32_t kMaxOffset = 976;
constexpr uint32_t kMaxStringLength = 2048;

struct Block {
  uint8_t bytes[kReadBytes + kPadding] = {};
};

void readBlock(SectorDevice& device, uint64_t position, Block& block) {
  std::memset(block.bytes, 0, sizeof block.bytes);
  device.readAt(position, block.bytes, kReadBytes);
}

// The 8-bit text of a string property: ends at its first zero, at its
// stored length or at the end of the bytes read.
std::string stringValue(const uint8_t* set, size_t start, uint32_t length) {
  std::string s;
  for (size_t i = 0; i < length && start + i < kReadBytes; ++i) {
    char c = static_cast<char>(set[start + i]);
    if (c == 0) break;
    s.push_back(c);
  }
  return sanitizeUtf8(s);
}

}  // namespace

bool parseSummaryInformation(const uint8_t* set, SummaryInfo& info) {
  const uint64_t count = le32(set, kSection + 4);
  if (count * 8 + 60 >= kReadBytes) return false;
  std::string application;
  for (uint64_t k = 0; k < count; ++k) {
    uint32_t id = le32(set, 56 + 8 * k);
    uint32_t offset = le32(set, 60 + 8 * k);
    if (offset > kMaxOffset) return false;
    if (id == kPropertyTitle || id == kPropertyAuthor || id == kPropertyApplication) {
      uint32_t length = le32(set, kSection + offset + 4);
      if (length > kMaxStringLength) return false;
      std::string value = stringValue(set, kSection + offset + 8, length);
      if (id == kPropertyTitle) info.title = value;
      else if (id == kPropertyAuthor) info.author = value;
      else application = value;
    }
    if (application == "Microsoft Office Word") info.extension = ".doc";
    else if (application == "Microsoft Excel") info.extension = ".xls";
    else if (application == "Microsoft PowerPoint") info.extension = ".ppt";
  }
  return true;
}

std::optional<CarvedDocument> carveOle2Document(SectorDevice& device, uint32_t cluster,
                                                const uint8_t* clusterData, const PartitionRecord& partition) {
  if (std::memcmp(clusterData, kOle2Signature, sizeof kOle2Signature) != 0) return std::nullopt;
  // The document's own sector size, whatever the volume's: 512 bytes
  // (version 3) or 4096 (version 4); no other is legal.
  const uint16_t shift = le16(clusterData, kHeaderSectorShift);
  if (shift != 9 && shift != 12) return std::nullopt;
  const uint64_t sectorBytes = uint64_t{1} << shift;
  const uint32_t fatSectorCount = le32(clusterData, kHeaderFatSectors);
  const uint32_t firstDirectorySector = le32(clusterData, kHeaderFirstDirectorySector);
  // Sector n follows the header, which takes one sector's room.
  const uint64_t start = partition.clusterPosition(cluster);
  auto sectorPosition = [&](uint32_t n) { return start + (uint64_t{n} + 1) * sectorBytes; };

  Block block;
  readBlock(device, sectorPosition(firstDirectorySector), block);
  const uint8_t* summaryEntry = nullptr;
  for (size_t e = 0; e < kReadBytes / kDirectoryEntrySize; ++e) {
    const uint8_t* entry = block.bytes + e * kDirectoryEntrySize;
    if (std::memcmp(entry, kSummaryName, sizeof kSummaryName) == 0) {
      summaryEntry = entry;
      break;
    }
  }
  if (!summaryEntry) return std::nullopt;
  const uint32_t summarySector = le32(summaryEntry, kDirectoryStartSector);

  readBlock(device, sectorPosition(summarySector), block);
  SummaryInfo info;
  if (!parseSummaryInformation(block.bytes, info)) return std::nullopt;
  CarvedDocument doc;
  doc.name = (info.title.empty() ? info.author : info.title) + std::to_string(cluster) + info.extension;
  // Each FAT sector maps sectorBytes / 4 sectors: as far as the document
  // can reach.
  doc.length = uint64_t{fatSectorCount} * (sectorBytes / 4) * sectorBytes;
  return doc;
}

}  // namespace dudorazu
