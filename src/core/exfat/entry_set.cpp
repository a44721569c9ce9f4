#include "core/exfat/entry_set.h"

#include "core/common/byte_order.h"
#include "core/common/text.h"

namespace dudorazu {
namespace {

// File entry fields.
constexpr size_t kSecondaryCount = 1;
constexpr size_t kFileAttributes = 4;
constexpr size_t kCreateTimestamp = 8;
constexpr size_t kLastModifiedTimestamp = 12;
// Stream extension fields.
constexpr size_t kGeneralSecondaryFlags = 1;
constexpr size_t kFirstCluster = 20;
constexpr size_t kDataLength = 24;
// File name entry.
constexpr size_t kFileName = 2;
constexpr size_t kNameUnitsPerEntry = 15;

constexpr size_t kMaxNameUnits = kMaxSecondaryCount * kNameUnitsPerEntry;

uint8_t stateOf(uint8_t primaryType, bool folder) {
  if (primaryType == kTypeFile) return folder ? kStateFolder : kStateFile;
  return folder ? kStateDeletedFolder : kStateDeletedFile;
}

}  // namespace

bool isEntrySetStart(const uint8_t* buffer, size_t offset) {
  uint8_t t = buffer[offset];
  uint8_t u = buffer[offset + kEntrySize];
  bool start = (t == kTypeFile && u == kTypeStream) || (t == kTypeFileDeleted && u == kTypeStreamDeleted);
  return start && buffer[offset + kSecondaryCount] <= kMaxSecondaryCount;
}

DecodedSet decodeEntrySet(const uint8_t* buffer, size_t bufferSize, size_t offset, ExfatFileRecord& parent,
                          LoadedVolume& volume, ProgressBlock& progress, uint32_t& directoryCounter) {
  const uint8_t* primary = buffer + offset;
  const uint8_t secondaryCount = primary[kSecondaryCount];
  const bool folder = (le16(primary, kFileAttributes) & kAttributeDirectory) != 0;

  // The name is gathered as UTF-16 first and converted once, so a surrogate
  // pair that straddles two name entries stays one character.
  uint16_t units[kMaxNameUnits];
  size_t unitCount = 0;
  uint8_t flags = 0;
  uint32_t firstCluster = 0;
  uint64_t dataLength = 0;
  for (size_t i = 1; i <= secondaryCount; ++i) {
    size_t at = offset + i * kEntrySize;
    if (at + kEntrySize > bufferSize) break;
    const uint8_t* entry = buffer + at;
    switch (entry[0]) {
      case kTypeName:
      case kTypeNameDeleted:
        for (size_t k = 0; k < kNameUnitsPerEntry; ++k) {
          uint16_t unit = le16(entry, kFileName + 2 * k);
          // A hostile count may bring more name entries than a set holds.
          if (unit == 0 || unitCount == kMaxNameUnits) break;
          units[unitCount++] = unit;
        }
        break;
      case kTypeStream:
      case kTypeStreamDeleted:
        flags = entry[kGeneralSecondaryFlags];
        firstCluster = le32(entry, kFirstCluster);
        dataLength = le64(entry, kDataLength);
        break;
      default:
        break;
    }
  }

  ExfatFileRecord record;
  record.state = stateOf(primary[0], folder);
  record.allocationFlags = flags & 3;
  uint32_t created = le32(primary, kCreateTimestamp);
  uint32_t modified = le32(primary, kLastModifiedTimestamp);
  record.createTime = static_cast<uint16_t>(created);
  record.createDate = static_cast<uint16_t>(created >> 16);
  record.modifyTime = static_cast<uint16_t>(modified);
  record.modifyDate = static_cast<uint16_t>(modified >> 16);
  record.dataLength = dataLength;
  record.firstCluster = firstCluster;
  record.name = utf16ToUtf8(units, unitCount);
  record.parent = &parent;

  if (folder) {
    ++directoryCounter;
    progress.setText(format("%u 目录被找到", directoryCounter));
    progress.stepIt();
  }
  parent.children.push_front(std::move(record));
  ExfatFileRecord* placed = &parent.children.front();
  volume.clusterIndex.insert({firstCluster, placed});
  return {placed, 1u + secondaryCount, flags};
}

}  // namespace dudorazu
