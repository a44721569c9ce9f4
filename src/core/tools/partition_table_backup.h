#pragma once
// Partition table backup: the sectors that hold a disk's partition
// structure, saved to a file of their own format.
//
// File layout: N sector images of 512 bytes (a larger disk sector is kept
// as several of them), then a trailer shorter than
// 512 bytes, "^"-separated, without terminating zero:
//   offset_1^offset_2^...^offset_N^devicePath^displayName
// with each offset the sector's byte position on the disk in decimal. A
// reader finds the trailer as the file length modulo 512.
//
// On a GPT disk the file also holds both GPT headers and the sectors of
// their entry arrays that hold entries; the file format stays the same, so
// older backups restore as before.
#include <cstdint>
#include <string>
#include <vector>

#include "core/common/messages.h"
#include "core/device/disk_record.h"
#include "platform/sector_device.h"

namespace dudorazu {

enum class BackupResult { Written, DiskNotOpened, Refused, FileError };

// Sector numbers saved for `disk`, in its own sectors (bytesPerSector: 4096
// on disks with 4 KiB logical sectors) and in file order: for each
// partition, the sector after the previous one (sector 0 first, where an EBR
// stands in a chain of logical volumes) and the partition's first sector.
// Sectors past the end of a disk of known size are left out, so every
// backup restores.
std::vector<uint32_t> backupSectorList(const DiskRecord& disk);

// The disk's own sector size when it is one a table can be written in
// (512 to 4096 bytes, a multiple of 512); 512 otherwise.
uint32_t tableUnit(uint32_t bytesPerSector);

// A GPT header found on a disk and the extent of the entry array it names,
// in the disk's sectors.
struct GptCopy {
  uint64_t headerLba = 0;
  uint64_t arrayLba = 0;
  uint64_t arraySectors = 0;
};

// The primary header at sector 1 and the backup header (where the primary
// names it, else at the last sector), each when it carries the GPT
// signature. Array sizes from the headers are bounded; an array is cut at
// the disk's end.
std::vector<GptCopy> gptCopies(SectorDevice& device, uint64_t diskSectors, uint32_t sectorSize = kSectorSize);

// The GPT sectors worth saving on `device` (`diskSectors` of `sectorSize`
// bytes long, 0 when unknown): for the primary header at sector 1 and for the backup header
// (where the primary names it, else at the last sector), when it carries
// the GPT signature, the header itself and its entry array up to the last
// sector holding a non-zero byte. Unused entries are zeros, so leaving the
// zero tail out keeps a restore byte-exact and the trailer short. Sizes
// from the headers are bounded; sectors outside the disk are left out.
std::vector<uint64_t> gptSectorList(SectorDevice& device, uint64_t diskSectors, uint32_t sectorSize = kSectorSize);

// The trailer for the given byte offsets.
std::string backupTrailer(const std::vector<uint64_t>& offsets, const std::string& devicePath,
                          const std::string& displayName);

// Writes the backup of `disk` to `filePath` (created or replaced) and shows
// "备份成功" (caption "sucess"). A trailer that would reach 512 bytes, a
// name holding "^", or a file the rule of outputProblem refuses against the
// disk (the disk itself, a file on one of its volumes) is refused before
// anything is written; a disk that cannot be opened ends it silently; a
// file that cannot be created shows "open file error!"; a failed file
// write is reported and the file removed.
BackupResult backupPartitionTable(const DiskRecord& disk, const std::string& filePath, MessageSink& messages);

}  // namespace dudorazu
