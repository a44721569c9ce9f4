#include "cli/record_listing.h"

#include <algorithm>
#include <list>
#include <vector>

#include "core/common/text.h"
#include "core/exfat/tree_loader.h"
#include "core/recovery/display_format.h"

namespace dudorazu::cli {
namespace {

std::string topPath(const ExfatFileRecord& top) {
  return top.name == kExtendedFolderName ? std::string("/") + kExtendedFolderName : std::string("/");
}

std::string childPath(const std::string& parent, const std::string& name) {
  return parent.size() == 1 ? parent + name : parent + "/" + name;
}

}  // namespace

const char* stateText(uint8_t state) { return recordStateText(state); }

std::string recordPath(const ExfatFileRecord& record) {
  std::vector<const ExfatFileRecord*> chain;
  const ExfatFileRecord* r = &record;
  for (; r->parent; r = r->parent) chain.push_back(r);
  std::string path = topPath(*r);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) path = childPath(path, (*it)->name);
  return path;
}

void writeRecordJson(JsonWriter& json, const ExfatFileRecord& r, const std::string& path) {
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
  json.endObject();
}

void forEachRecord(const ExfatFileRecord& top, const std::string& topPathText,
                   const std::function<void(const ExfatFileRecord&, const std::string&, size_t)>& visit) {
  using It = std::list<ExfatFileRecord>::const_iterator;
  struct Level {
    It it, end;
    std::string path;
  };
  std::vector<Level> stack;
  visit(top, topPathText, 0);
  stack.push_back({top.children.begin(), top.children.end(), topPathText});
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.it == level.end) {
      stack.pop_back();
      continue;
    }
    const ExfatFileRecord& r = *level.it++;
    std::string path = childPath(level.path, r.name);
    visit(r, path, stack.size());
    if (!r.children.empty()) stack.push_back({r.children.begin(), r.children.end(), std::move(path)});
  }
}

RecordJsonStream::RecordJsonStream(FILE* out) : out_(out) { std::fputs("{\"records\":[", out_); }

RecordJsonStream::~RecordJsonStream() { std::fputs("]}\n", out_); }

void RecordJsonStream::addTree(const ExfatFileRecord& top, const std::string& topPathText) {
  forEachRecord(top, topPathText, [&](const ExfatFileRecord& r, const std::string& path, size_t) {
    JsonWriter json;
    writeRecordJson(json, r, path);
    if (!first_) std::fputc(',', out_);
    first_ = false;
    const std::string text = json.str();
    std::fwrite(text.data(), 1, text.size(), out_);
  });
}

void printTreeText(FILE* out, const ExfatFileRecord& top) {
  // Indentation stops growing at some depth: a hostile tree nested
  // thousands deep would otherwise print mostly spaces.
  constexpr size_t kMaxIndentDepth = 64;
  forEachRecord(top, topPath(top), [&](const ExfatFileRecord& r, const std::string&, size_t depth) {
    std::string line(2 * std::min(depth, kMaxIndentDepth), ' ');
    // A name is one line: control characters from a hostile entry would
    // break the listing or drive the terminal.
    line += printableText(r.name);
    line += format("  %s  %llu  %s  %s  %u\n", stateText(r.state), static_cast<unsigned long long>(r.dataLength),
                   formatRecordTime(r.createDate, r.createTime).c_str(),
                   formatRecordTime(r.modifyDate, r.modifyTime).c_str(), r.firstCluster);
    std::fwrite(line.data(), 1, line.size(), out);
  });
}

}  // namespace dudorazu::cli
