// The volume group, its physical volumes and its logical volumes, from the
// text metadata.
#include <string>

#include "core/partitions/lvm_label.h"

namespace dudorazu {
namespace {

// Segments are looked up by name; a count beyond the segments present, or
// beyond this bound, ends the list instead of adding empty segments.
constexpr uint64_t kMaxSegments = 4096;

// Characters 2 .. end-2 of `text`: a name behind a line break and one more
// character, or a quoted name behind a line break.
std::string innerName(std::string_view text, size_t end) {
  if (end < 3) return {};
  return std::string(text.substr(2, end - 3));
}

std::string withoutHyphens(std::string_view id) {
  std::string out;
  for (char c : id)
    if (c != '-') out.push_back(c);
  return out;
}

// The text inside the first block after `sectionKey`, the closing brace of
// the section included; empty when there is no such section.
std::string_view sectionBody(std::string_view text, std::string_view sectionKey) {
  size_t at = text.find(sectionKey);
  if (at == std::string_view::npos) return {};
  std::string_view section = extractBlock(text.substr(at));
  size_t open = section.find('{');
  if (open == std::string_view::npos) return {};
  return section.substr(open + 1);
}

LvSegment parseSegment(std::string_view segment, const std::vector<PhysicalVolumeName>& pvs) {
  LvSegment s;
  s.startExtent = static_cast<uint32_t>(decimalValue(getValue(segment, "start_extent")));
  s.extentCount = static_cast<uint32_t>(decimalValue(getValue(segment, "extent_count")));
  s.stripeCount = static_cast<uint32_t>(decimalValue(getValue(segment, "stripe_count")));
  std::string_view stripes = getValue(segment, "stripes");
  size_t comma = stripes.find(',');
  if (comma != std::string_view::npos && comma >= 1) {
    s.pvName = innerName(stripes, comma);
    s.pvStartExtent = decimalValue(stripes.substr(comma + 1));
    for (const PhysicalVolumeName& pv : pvs) {
      if (pv.name == s.pvName) {
        s.pvId = pv.id;
        break;
      }
    }
  }
  return s;
}

}  // namespace

void parseVolumeGroup(std::string_view text, DiskRecord& disk) {
  disk.vgId = std::string(getValue(text, "id"));
  disk.extentSize = static_cast<uint32_t>(decimalValue(getValue(text, "extent_size")));
  parsePhysicalVolumes(text, disk);
}

void parsePhysicalVolumes(std::string_view text, DiskRecord& disk) {
  std::string_view remaining = sectionBody(text, "physical_volumes");
  if (remaining.empty()) return;
  std::vector<PhysicalVolumeName> pvs;
  for (std::string_view block = extractBlock(remaining); !block.empty(); block = extractBlock(remaining)) {
    PhysicalVolumeName pv;
    pv.name = innerName(block, block.find('{'));
    std::string_view quoted = getValue(block, "id");
    if (quoted.size() >= 2) pv.id = std::string(quoted.substr(1, quoted.size() - 2));
    if (pv.id == disk.pvId || withoutHyphens(pv.id) == disk.pvId) {
      disk.devSize = decimalValue(getValue(block, "dev_size"));
      disk.peStart = decimalValue(getValue(block, "pe_start"));
      disk.peCount = static_cast<uint32_t>(decimalValue(getValue(block, "pe_count")));
    }
    pvs.push_back(std::move(pv));
    remaining.remove_prefix(block.size());
  }
  parseLogicalVolumes(text, disk, pvs);
}

void parseLogicalVolumes(std::string_view text, DiskRecord& disk, const std::vector<PhysicalVolumeName>& pvs) {
  std::string_view remaining = sectionBody(text, "logical_volumes");
  for (std::string_view block = extractBlock(remaining); !block.empty(); block = extractBlock(remaining)) {
    LogicalVolume lv;
    size_t open = block.find('{');
    std::string_view name = block.substr(0, open >= 1 ? open - 1 : 0);
    // The name stands on its own line; the line breaks before it are no part of it.
    size_t first = name.find_first_not_of(" \t\r\n");
    lv.name = first == std::string_view::npos ? std::string() : std::string(name.substr(first));

    uint64_t count = decimalValue(getValue(block, "segment_count"));
    for (uint64_t i = 1; i <= count && i <= kMaxSegments; ++i) {
      size_t at = block.find("segment" + std::to_string(i));
      if (at == std::string_view::npos) break;
      LvSegment s = parseSegment(extractBlock(block.substr(at)), pvs);
      lv.sizeSectors += static_cast<uint64_t>(disk.extentSize) * s.extentCount;
      lv.segments.push_back(std::move(s));
    }
    disk.logicalVolumes.push_back(std::move(lv));
    remaining.remove_prefix(block.size());
  }
}

}  // namespace dudorazu
