#pragma once
// An exFAT-like volume in memory: geometry, FAT and records, no directory entries.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sector_device.h"
#include "core/exfat/loaded_volume.h"
#include "core/recovery/save_engine.h"
#include "support/memory_device.h"

namespace dudorazu::test {

class FakeVolume {
 public:
  // Cluster c lies at byte c x clusterBytes (clusterBase 0).
  FakeVolume(uint32_t clusterSectors, uint32_t clusterCount) {
    partition.clusterSectors = clusterSectors;
    partition.clusterBase = 0;
    partition.bytesPerSector = 512;
    volume.fatTable.assign(clusterCount, 0);
    volume.rootRecord.name = "根目录";
    volume.rootRecord.state = kStateFolder;
    bytes.assign(static_cast<size_t>(clusterCount) * clusterBytes(), '\0');
  }
  uint64_t clusterBytes() const { return partition.clusterBytes(); }

  // Fills cluster c with a text that names the cluster, so a misplaced
  // cluster shows in the output.
  void stamp(uint32_t c) {
    std::string tag = "<cluster " + std::to_string(c) + ">";
    uint64_t at = partition.clusterPosition(c);
    for (uint64_t i = 0; i < clusterBytes(); ++i) bytes[at + i] = tag[i % tag.size()];
  }
  std::string cluster(uint32_t c) const { return bytes.substr(partition.clusterPosition(c), clusterBytes()); }
  void chain(const std::vector<uint32_t>& clusters, uint32_t end = 0xFFFFFFFF) {
    for (size_t i = 0; i < clusters.size(); ++i)
      volume.fatTable[clusters[i]] = i + 1 < clusters.size() ? clusters[i + 1] : end;
  }

  ExfatFileRecord& add(ExfatFileRecord& parent, const std::string& name, uint8_t state, uint8_t flags,
                       uint64_t length, uint32_t first) {
    return addRecord(volume, parent, name, state, flags, length, first);
  }
  // The same for another loaded volume.
  static ExfatFileRecord& addRecord(LoadedVolume& p, ExfatFileRecord& parent, const std::string& name,
                                    uint8_t state, uint8_t flags, uint64_t length, uint32_t first) {
    ExfatFileRecord r;
    r.name = name;
    r.state = state;
    r.allocationFlags = flags;
    r.dataLength = length;
    r.firstCluster = first;
    r.parent = &parent;
    parent.children.push_back(r);
    ExfatFileRecord& placed = parent.children.back();
    p.clusterIndex.emplace(first, &placed);
    return placed;
  }
  ExfatFileRecord& root() { return volume.rootRecord; }
  MemoryDevice device() const { return MemoryDevice(bytes); }

  PartitionRecord partition;
  LoadedVolume volume{partition};
  std::string bytes;
};

// A save context over a device (the volume's bytes by default), saved files in `files`.
struct Saver {
  Saver(SectorDevice* device, const LoadedVolume& volume) {
    context.device = device;
    context.volume = &volume;
    context.progress = &progress;
    context.onFile = [this](const SavedFile& f) { files.push_back(f); };
  }
  explicit Saver(const FakeVolume& v) : Saver(nullptr, v.volume) {
    memory = std::make_unique<MemoryDevice>(v.bytes);
    context.device = memory.get();
  }
  void save(const ExfatFileRecord& r, const std::string& dest) { saveNode(context, dest, &r); }
  std::unique_ptr<MemoryDevice> memory;
  ProgressBlock progress;
  SaveContext context;
  std::vector<SavedFile> files;
};

}  // namespace dudorazu::test
