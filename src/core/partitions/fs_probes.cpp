// Boot sector probes and the names of type codes.
#include "core/partitions/fs_probes.h"

#include <cstring>

#include "core/common/byte_order.h"

namespace dudorazu {
namespace {

bool hasBootSignature(const uint8_t* s) { return le16(s, 510) == 0xAA55; }

bool bytesAre(const uint8_t* s, size_t off, const char* text) {
  return std::memcmp(s + off, text, std::strlen(text)) == 0;
}

}  // namespace

bool isExfatBootSector(const uint8_t* s) {
  if (!hasBootSignature(s)) return false;
  // The region a FAT BPB would occupy must be zero in exFAT.
  for (size_t i = 11; i < 64; ++i)
    if (s[i] != 0) return false;
  return bytesAre(s, 3, "EXFAT");
}

bool isFat16BootSector(const uint8_t* s) {
  return hasBootSignature(s) && le16(s, 0x11) == 512 && le16(s, 0x0B) == 512 && bytesAre(s, 0x36, "FAT16");
}

bool isFat32BootSector(const uint8_t* s) {
  return hasBootSignature(s) && s[0x10] == 2 && le16(s, 0x0B) == 512 && le16(s, 0x32) == 6 &&
         le32(s, 0x11) == 0 && le16(s, 0x16) == 0 && bytesAre(s, 0x52, "FAT32");
}

bool isNtfsBootSector(const uint8_t* s) {
  return hasBootSignature(s) && le16(s, 0x0B) == 512 && s[0x10] == 0 && le16(s, 0x11) == 0 &&
         le16(s, 0x16) == 0 && le32(s, 0x1C) != 0 && bytesAre(s, 3, "NTFS");
}

VolumeHead classifyVolumeHead(const uint8_t* head) {
  if (isFat32BootSector(head)) return VolumeHead::Fat32;
  if (isFat16BootSector(head)) return VolumeHead::Fat16;
  if (isNtfsBootSector(head)) return VolumeHead::Ntfs;
  if (isExfatBootSector(head)) return VolumeHead::Exfat;
  if (isExtSuperblock(head + 1024)) return VolumeHead::Ext;
  return VolumeHead::None;
}

const char* fileSystemName(uint8_t typeCode) {
  switch (typeCode) {
    case 4:
    case 6:
    case 14: return "FAT16";
    case 5: return "exFat";
    case 7:
    case 13: return "NTFS";
    case 11:
    case 12: return "FAT32";
    default: return "";
  }
}

}  // namespace dudorazu
