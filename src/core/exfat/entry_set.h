#pragma once
// Turning one exFAT file entry set (in use or deleted) into an
// ExfatFileRecord hung under the folder that holds it.
#include <cstddef>
#include <cstdint>

#include "core/common/progress_block.h"
#include "core/exfat/loaded_volume.h"

namespace dudorazu {

inline constexpr size_t kEntrySize = 32;
// More secondaries than a name of 255 units and a stream entry need marks
// garbage, not a set.
inline constexpr uint8_t kMaxSecondaryCount = 18;

// Entry type bytes: in-use form, deleted form.
inline constexpr uint8_t kTypeFile = 0x85, kTypeFileDeleted = 0x05;
inline constexpr uint8_t kTypeStream = 0xC0, kTypeStreamDeleted = 0x40;
inline constexpr uint8_t kTypeName = 0xC1, kTypeNameDeleted = 0x41;

// FileAttributes bit of a folder.
inline constexpr uint16_t kAttributeDirectory = 0x10;

// True when a set starts at `offset`: a file entry followed by a stream
// entry of the same form (0x85 0xC0 or 0x05 0x40), with at most 18
// secondaries. `offset` + 64 must lie within the buffer.
bool isEntrySetStart(const uint8_t* buffer, size_t offset);

struct DecodedSet {
  ExfatFileRecord* record = nullptr;  // the placed record
  uint32_t slots = 1;                 // entries the set occupies
  uint8_t secondaryFlags = 0;         // the whole GeneralSecondaryFlags byte
};

// Decodes the set at `offset` of `buffer` (`bufferSize` bytes; entries past
// the end are taken as absent; a name stops at what 18 name entries hold,
// whatever the secondary count says), places the record at the front of
// `parent`'s children and enters it in the volume's clusterIndex. A
// folder record advances `directoryCounter` and reports "%d 目录被找到".
DecodedSet decodeEntrySet(const uint8_t* buffer, size_t bufferSize, size_t offset, ExfatFileRecord& parent,
                          LoadedVolume& volume, ProgressBlock& progress, uint32_t& directoryCounter);

}  // namespace dudorazu
