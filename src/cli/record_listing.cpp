#include "cli/record_listing.h"

#include <algorithm>

#include "core/common/text.h"
#include "core/exfat/carve_signatures.h"
#include "core/present/display_format.h"
#include "core/present/recoverability_text.h"

namespace dudorazu::cli {

void writeRecordJson(JsonWriter& json, const ExfatFileRecord& r, const std::string& path, uint64_t clusterBytes) {
  json.beginObject()
      .field("path", path)
      .field("name", r.name)
      .field("state", static_cast<uint32_t>(r.state))
      .field("stateText", stateText(r.state))
      .field("dataLength", r.dataLength)
      .field("firstCluster", r.firstCluster)
      .field("allocationFlags", static_cast<uint32_t>(r.allocationFlags))
      .field("created", formatRecordTime(r.createDate, r.createTime))
      .field("modified", formatRecordTime(r.modifyDate, r.modifyTime));
  if (r.parent) json.field("parentCluster", r.parent->firstCluster);
  json.field("recoverability", recoverabilityName(worstRecoverability(r)));
  json.key("recoverabilityStates").beginArray();
  for (int k = kRecoverabilityCount - 1; k >= 0; --k)
    if (hasRecoverability(r, static_cast<Recoverability>(k))) json.value(recoverabilityName(static_cast<Recoverability>(k)));
  json.endArray()
      .field("bytesAtRisk", bytesAtRisk(r, clusterBytes))
      .field("overwrittenBytes", overwrittenBytes(r, clusterBytes))
      .field("damagedBytes", damagedBytes(r, clusterBytes))
      .field("alsoInTree", (r.recoverMarks & kAlsoInTree) != 0);
  if (r.carve != kNotCarved) json.field("carveFormat", carvedFormatText(r)).field("carveEnd", carveEndName(r.carve, r.carveFormat));
  json.endObject();
}

RecordJsonStream::RecordJsonStream(FILE* out, uint64_t clusterBytes) : out_(out), clusterBytes_(clusterBytes) { std::fputs("{\"records\":[", out_); }

RecordJsonStream::~RecordJsonStream() { std::fputs("]}\n", out_); }

void RecordJsonStream::addTree(const ExfatFileRecord& top, const std::string& topPathText) {
  // One writer for every record: its buffer is kept, not made anew.
  JsonWriter json;
  forEachRecord(top, topPathText, [&](const ExfatFileRecord& r, const std::string& path, size_t) {
    json.clear();
    writeRecordJson(json, r, path, clusterBytes_);
    if (!first_) std::fputc(',', out_);
    first_ = false;
    std::fwrite(json.text().data(), 1, json.text().size(), out_);
  });
}

void printTreeText(FILE* out, const ExfatFileRecord& top, uint64_t clusterBytes) {
  // Indentation stops growing at some depth: a hostile tree nested
  // thousands deep would otherwise print mostly spaces.
  constexpr size_t kMaxIndentDepth = 64;
  forEachRecord(top, topPathOf(top), [&](const ExfatFileRecord& r, const std::string&, size_t depth) {
    std::string line(2 * std::min(depth, kMaxIndentDepth), ' ');
    // A name is one line: control characters from a hostile entry would
    // break the listing or drive the terminal.
    line += printableText(r.name);
    // A record without a time shows "-", so that the columns still count.
    auto shown = [](std::string t) { return t.empty() ? std::string("-") : t; };
    line += format("  %s  %llu  %s  %s  %u  %s\n", stateText(r.state), static_cast<unsigned long long>(r.dataLength),
                   shown(formatRecordTime(r.createDate, r.createTime)).c_str(),
                   shown(formatRecordTime(r.modifyDate, r.modifyTime)).c_str(), r.firstCluster,
                   recoverabilitySummary(r, clusterBytes).c_str());
    std::fwrite(line.data(), 1, line.size(), out);
  });
}

}  // namespace dudorazu::cli
