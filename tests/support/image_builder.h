#pragma once
// Hand-made disk images in memory: just the bytes a test case needs.
#include <cstdint>
#include <cstring>
#include <string>

#include "core/common/byte_order.h"
#include "platform/sector_device.h"
#include "support/memory_device.h"

namespace dudorazu::test {

class ImageBuilder {
 public:
  explicit ImageBuilder(uint64_t sectors) : bytes_(sectors * kSectorSize, '\0') {}

  uint8_t* sector(uint64_t lba) { return reinterpret_cast<uint8_t*>(bytes_.data()) + lba * kSectorSize; }
  uint8_t* at(uint64_t byteOffset) { return reinterpret_cast<uint8_t*>(bytes_.data()) + byteOffset; }

  void signature(uint64_t lba) { putLe16(sector(lba), 510, 0xAA55); }
  void tableEntry(uint64_t lba, int index, uint8_t type, uint32_t start, uint32_t count) {
    uint8_t* e = sector(lba) + 446 + 16 * index;
    e[4] = type;
    putLe32(e, 8, start);
    putLe32(e, 12, count);
    signature(lba);
  }
  // An exFAT boot sector whose root folder (cluster 2, right at the heap)
  // holds `label` in its first entry when it is not empty.
  void exfatVolume(uint64_t lba, uint64_t lengthSectors, const std::string& label = "",
                   uint32_t labelEntryOffset = 0) {
    uint8_t* s = jump(lba, 0x76);
    std::memcpy(s + 3, "EXFAT   ", 8);
    putLe64(s, 0x40, lba);
    putLe64(s, 0x48, lengthSectors);
    putLe32(s, 0x58, 8);  // cluster heap offset
    putLe32(s, 0x60, 2);  // root cluster
    s[0x6C] = 9;  // 512-byte sectors, one per cluster
    signature(lba);
    if (!label.empty()) {
      uint8_t* entry = at((lba + 8) * kSectorSize + labelEntryOffset);
      entry[0] = 0x83;
      entry[1] = static_cast<uint8_t>(label.size());
      for (size_t i = 0; i < label.size(); ++i) putLe16(entry, 2 + 2 * i, static_cast<uint8_t>(label[i]));
    }
  }
  void fat16Boot(uint64_t lba, uint16_t smallTotal, uint32_t largeTotal) {
    uint8_t* s = jump(lba, 0x3C);
    putLe16(s, 0x0B, 512);
    putLe16(s, 0x11, 512);
    putLe16(s, 0x13, smallTotal);
    putLe32(s, 0x20, largeTotal);
    std::memcpy(s + 0x36, "FAT16   ", 8);
    signature(lba);
  }

  // Protective MBR, GPT header at LBA 1, entries of `entrySize` from LBA 2.
  void gptHeader(uint32_t entryCount = 128, uint32_t entrySize = 128) {
    tableEntry(0, 0, 0xEE, 1, 0xFFFFFFFF);
    std::memcpy(sector(1), "EFI PART", 8);
    putLe64(sector(1), 72, 2);
    putLe32(sector(1), 80, entryCount);
    putLe32(sector(1), 84, entrySize);
  }
  void gptEntry(int index, const uint8_t* guid, uint64_t first, uint64_t last, const std::string& name) {
    uint8_t* e = at(2 * kSectorSize + 128 * static_cast<uint64_t>(index));
    std::memcpy(e, guid, 16);
    putLe64(e, 32, first);
    putLe64(e, 40, last);
    for (size_t i = 0; i < name.size(); ++i) putLe16(e, 56 + 2 * i, static_cast<uint8_t>(name[i]));
  }
  static constexpr uint8_t kGptBasicData[16] = {0xA2, 0xA0, 0xD0, 0xEB, 0xE5, 0xB9, 0x33, 0x44,
                                                0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7};

  const std::string& bytes() const { return bytes_; }
  MemoryDevice device() const { return MemoryDevice(bytes_); }

 private:
  uint8_t* jump(uint64_t lba, uint8_t offset) {  // the boot sector's opening jump
    uint8_t* s = sector(lba);
    s[0] = 0xEB, s[1] = offset, s[2] = 0x90;
    return s;
  }
  std::string bytes_;
};

}  // namespace dudorazu::test
