// dudorazu-cli disks: the disk tree of the disk window, or its JSON form.
#include <cstdio>
#include <string>

#include "cli/cli_support.h"
#include "core/common/text.h"
#include "platform/sector_device.h"
#include "core/device/source_path.h"
#include "core/partitions/file_system_text.h"
#include "core/present/display_format.h"

namespace dudorazu::cli {
namespace {

constexpr const char* kCommand = "disks";

void printUsage(FILE* out) {
  std::fprintf(out,
               "usage: dudorazu-cli disks [--image PATH]... [--no-drives] [--json]\n"
               "\n"
               "Lists the machine's drives (reading them usually needs root) and the given\n"
               "image files or device paths, each with its partitions and, on an LVM2\n"
               "physical volume, its logical volumes.\n"
               "\n"
               "  --image PATH  also catalogue this image file or block device (repeatable)\n"
               "                an image file is a raw image, the first piece (NAME.001) of a\n"
               "                split one, an EWF evidence file (NAME.E01) or a VHD, VHDX, VMDK\n"
               "                or QCOW2 virtual disk, told apart by its contents; all are read-only\n"
               "  --no-drives   do not enumerate the machine's drives\n"
               "  --json        print {\"disks\":[...]} with every field of each disk and partition\n");
}

void printRow(const std::string& text, const std::string& label, const std::string& fileSystem,
              const std::string& start, const std::string& size, int indent) {
  std::printf("%*s%-*s %-16s %-12s %12s %12s\n", indent, "", 32 - indent, printableText(text).c_str(),
              printableText(label).c_str(), printableText(fileSystem).c_str(), start.c_str(), size.c_str());
}

void printTree(const DiskCatalogue& catalogue) {
  printRow("DISK / PARTITION", "LABEL", "FILE SYSTEM", "START", "SIZE", 0);
  for (const DiskRecord& disk : catalogue.disks) {
    printRow(displayName(disk), "", "", "0", formatSizeShort(disk.diskSize), 0);
    for (const PartitionRecord& p : disk.partitions) {
      printRow(partitionText(p), p.label, fileSystemText(p), formatSizeShort(p.startOffset()),
               formatSizeShort(p.sizeBytes()), 2);
      if (beyondDiskEnd(disk, p))
        std::printf("    ! %s runs past the end of the disk; only what lies on the disk is read\n",
                    partitionText(p).c_str());
      if (p.exfatFromBackupBootSector)
        std::printf("    note: main boot sector damaged; its backup holds an exFAT volume, which tree,\n"
                    "          scan-lost and recover read through it\n");
    }
    for (const LogicalVolume& lv : disk.logicalVolumes) {
      printRow("LV " + lv.name, "", lv.fileSystem, "", formatSizeShort(lv.sizeSectors * kSectorSize), 2);
      for (const LvSegment& s : lv.segments) {
        std::printf("      segment: extents %u+%u, %u stripe(s), on %s at extent %llu\n", s.startExtent,
                    s.extentCount, s.stripeCount, s.pvName.empty() ? "?" : printableText(s.pvName).c_str(),
                    static_cast<unsigned long long>(s.pvStartExtent));
      }
    }
  }
}

void writePartition(JsonWriter& json, const DiskRecord& disk, const PartitionRecord& p) {
  json.beginObject()
      .field("name", p.name)
      .field("driveLetter", p.driveLetter)
      .field("label", p.label)
      .field("typeCode", static_cast<uint32_t>(p.typeCode))
      .field("fileSystem", fileSystemText(p))
      .field("startSector", p.startSector)
      .field("sizeSectors", p.sizeSectors)
      .field("deviceSectorSize", p.deviceSectorSize)
      .field("beyondDiskEnd", beyondDiskEnd(disk, p))
      .field("entryKind", static_cast<uint32_t>(p.entryKind))
      .field("searchKind", p.searchKind)
      .field("exfatFromBackupBootSector", p.exfatFromBackupBootSector)
      .field("hfsKind", p.hfsKind)
      .field("hfsKindText", p.hfsKindText)
      .field("extVersion", p.extVersion)
      .field("devicePath", p.devicePath)
      .field("bytesPerSector", p.bytesPerSector)
      .field("clusterSectors", p.clusterSectors)
      .field("clusterBase", p.clusterBase)
      .field("tableType", static_cast<uint32_t>(p.tableType))
      .endObject();
}

void writeLogicalVolume(JsonWriter& json, const LogicalVolume& lv) {
  json.beginObject().field("name", lv.name).field("sizeSectors", lv.sizeSectors).field("fileSystem", lv.fileSystem);
  json.key("segments").beginArray();
  for (const LvSegment& s : lv.segments) {
    json.beginObject()
        .field("startExtent", s.startExtent)
        .field("extentCount", s.extentCount)
        .field("stripeCount", s.stripeCount)
        .field("pvName", s.pvName)
        .field("pvId", s.pvId)
        .field("pvStartExtent", s.pvStartExtent)
        .endObject();
  }
  json.endArray().endObject();
}

void printJson(const DiskCatalogue& catalogue) {
  JsonWriter json;
  json.beginObject().key("disks").beginArray();
  for (const DiskRecord& disk : catalogue.disks) {
    json.beginObject()
        .field("displayName", displayName(disk))
        .field("devicePath", disk.devicePath)
        .field("driveNumber", disk.driveNumber)
        .field("productId", disk.productId)
        .field("vendorId", disk.vendorId)
        .field("productRevision", disk.productRevision)
        .field("diskSize", disk.diskSize)
        .field("cylinders", disk.cylinders)
        .field("tracksPerCylinder", disk.tracksPerCylinder)
        .field("sectorsPerTrack", disk.sectorsPerTrack)
        .field("isFixedMedia", disk.isFixedMedia != 0)
        .field("mapEntryCount", disk.mapEntryCount)
        .field("bytesPerSector", disk.bytesPerSector)
        .field("pvId", disk.pvId)
        .field("vgId", disk.vgId)
        .field("extentSize", disk.extentSize)
        .field("devSize", disk.devSize)
        .field("peStart", disk.peStart)
        .field("peCount", disk.peCount);
    json.key("logicalVolumes").beginArray();
    for (const LogicalVolume& lv : disk.logicalVolumes) writeLogicalVolume(json, lv);
    json.endArray();
    json.key("partitions").beginArray();
    for (const PartitionRecord& p : disk.partitions) writePartition(json, disk, p);
    json.endArray().endObject();
  }
  json.endArray().endObject();
  std::printf("%s\n", json.str().c_str());
}

}  // namespace

int cmdDisks(Args args) {
  if (takeHelp(args)) {
    printUsage(stdout);
    return 0;
  }
  bool missingValue = false;
  std::vector<std::string> images = takeOptions(args, "--image", missingValue);
  bool noDrives = takeFlag(args, "--no-drives");
  bool asJson = takeFlag(args, "--json");
  if (missingValue) {
    printError(kCommand, "--image needs a PATH");
    return 2;
  }
  if (rejectUnknownOptions(args, kCommand)) return 2;
  if (!args.empty()) {
    printError(kCommand, "unexpected argument '" + args.front() + "' (images are given with --image)");
    return 2;
  }

  DiskCatalogue catalogue;
  if (!noDrives) addMachineDrives(catalogue);
  for (const std::string& path : images) {
    if (!openImageAsDisk(catalogue, canonicalSource(path))) {
      printError(kCommand, "cannot open image '" + path + "' for reading" + openProblemText());
      return 1;
    }
  }
  if (asJson) printJson(catalogue);
  else printTree(catalogue);
  return 0;
}

}  // namespace dudorazu::cli
