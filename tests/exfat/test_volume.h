#pragma once
// Hand-made exFAT volumes: boot sector, FAT and heap, entry sets placed slot by slot.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/common/byte_order.h"
#include "core/common/progress_block.h"
#include "core/device/disk_record.h"
#include "platform/sector_device.h"
#include "core/exfat/exfat_file_record.h"

namespace dudorazu::test {

struct SetLayout {
  std::vector<uint16_t> name;  // UTF-16 code units
  bool folder = false;
  bool deleted = false;
  uint32_t firstCluster = 0;
  uint64_t dataLength = 0;
  uint8_t flags = 3;  // GeneralSecondaryFlags
  int secondaryCount = -1;  // -1: stream + name entries
};

// ASCII names; tests set other units themselves.
inline SetLayout fileSet(const std::string& name, uint32_t firstCluster = 0, uint64_t length = 0) {
  return {{name.begin(), name.end()}, false, false, firstCluster, length};
}
inline SetLayout folderSet(const std::string& name, uint32_t firstCluster, uint64_t length, uint8_t flags = 3) {
  return {{name.begin(), name.end()}, true, false, firstCluster, length, flags};
}
inline SetLayout deleted(SetLayout s) {
  s.deleted = true;
  return s;
}

// The set's entries, 32 bytes each: file, stream, then 15-unit name pieces.
inline std::vector<uint8_t> encodeSet(const SetLayout& s) {
  size_t nameEntries = (s.name.size() + 14) / 15;
  size_t secondaries = s.secondaryCount >= 0 ? static_cast<size_t>(s.secondaryCount) : 1 + nameEntries;
  std::vector<uint8_t> b(32 * (1 + std::max(secondaries, 1 + nameEntries)), 0);
  b[0] = s.deleted ? 0x05 : 0x85, b[1] = static_cast<uint8_t>(secondaries);
  putLe16(b.data(), 4, s.folder ? 0x10 : 0x20);
  uint8_t* stream = b.data() + 32;
  stream[0] = s.deleted ? 0x40 : 0xC0, stream[1] = s.flags, stream[3] = static_cast<uint8_t>(s.name.size());
  putLe64(stream, 8, s.dataLength), putLe32(stream, 20, s.firstCluster), putLe64(stream, 24, s.dataLength);
  for (size_t e = 0; e < nameEntries; ++e) {
    uint8_t* n = b.data() + 64 + 32 * e;
    n[0] = s.deleted ? 0x41 : 0xC1;
    for (size_t k = 0; k < 15 && 15 * e + k < s.name.size(); ++k) putLe16(n, 2 + 2 * k, s.name[15 * e + k]);
  }
  return b;
}

// The first sector of a standard up-case table: code units 0..255.
inline void putUpcaseSector(uint8_t* at) {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t v = i;
    if ((i >= 0x61 && i <= 0x7A) || (i >= 0xE0 && i <= 0xFE && i != 0xF7)) v = i - 0x20;
    if (i == 0xFF) v = 0x178;
    putLe16(at, 2 * i, static_cast<uint16_t>(v));
  }
}

class TestVolume {
 public:
  // 512-byte sectors, boot sector (and a copy 12 sectors on), FAT at sector
  // 24, heap right after the FAT, root folder at cluster 4.
  explicit TestVolume(uint32_t clusterSectors = 1, uint32_t clusterCount = 64) : clusterSectors_(clusterSectors) {
    uint32_t fatSectors = static_cast<uint32_t>(((clusterCount + 2) * 4ull + 511) / 512);
    heapOffset_ = 24 + fatSectors;
    bytes.assign((heapOffset_ + static_cast<uint64_t>(clusterCount) * clusterSectors) * 512, '\0');
    uint8_t* bs = bootSector();
    bs[0] = 0xEB, bs[1] = 0x76, bs[2] = 0x90;
    std::memcpy(bs + 3, "EXFAT   ", 8);
    putLe64(bs, 0x48, bytes.size() / 512);
    for (auto [at, value] : {std::pair{0x50, 24u}, {0x54, fatSectors}, {0x58, heapOffset_}, {0x5C, clusterCount}, {0x60, 4u}})
      putLe32(bs, at, value);
    bs[0x69] = 1, bs[0x6C] = 9, bs[0x6E] = 1;
    bs[0x6D] = static_cast<uint8_t>(__builtin_ctz(clusterSectors));
    bs[510] = 0x55, bs[511] = 0xAA;
    std::memcpy(backupBootSector(), bs, 512);
    setFat(0, 0xFFFFFFF8), setFat(1, 0xFFFFFFFF), setFat(4, 0xFFFFFFFF);
  }

  std::string bytes;

  uint8_t* bootSector() { return reinterpret_cast<uint8_t*>(bytes.data()); }
  uint8_t* backupBootSector() { return bootSector() + 12 * 512; }
  uint64_t clusterOffset(uint32_t c) const { return (heapOffset_ + static_cast<uint64_t>(c - 2) * clusterSectors_) * 512; }
  uint8_t* cluster(uint32_t c) { return bootSector() + clusterOffset(c); }
  void setFat(uint32_t c, uint32_t value) { putLe32(bootSector() + 24 * 512, 4ull * c, value); }
  // Links the clusters in order and ends the chain.
  void chain(const std::vector<uint32_t>& clusters) {
    for (size_t i = 0; i < clusters.size(); ++i)
      setFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : 0xFFFFFFFF);
  }
  // Writes a set from slot `slot` of the folder whose clusters are `folder`,
  // running on into its next cluster as a folder does.
  void putSet(const std::vector<uint32_t>& folder, size_t slot, const SetLayout& layout) {
    std::vector<uint8_t> entries = encodeSet(layout);
    for (size_t k = 0, perCluster = clusterSectors_ * 16; k < entries.size() / 32; ++k)
      std::memcpy(cluster(folder.at((slot + k) / perCluster)) + 32 * ((slot + k) % perCluster), &entries[32 * k], 32);
  }

 private:
  uint32_t clusterSectors_, heapOffset_;
};

// The names of a record's children, in order, joined by ",".
inline std::string childNames(const ExfatFileRecord& r) {
  std::string out;
  for (const ExfatFileRecord& c : r.children) out += (out.empty() ? "" : ",") + c.name;
  return out;
}

inline bool hasChild(const ExfatFileRecord& r, const std::string& name) {
  return ("," + childNames(r) + ",").find("," + name + ",") != std::string::npos;
}

}  // namespace dudorazu::test
