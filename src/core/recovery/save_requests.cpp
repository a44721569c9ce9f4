#include "core/recovery/save_requests.h"


#include "core/recovery/display_format.h"
#include "core/recovery/record_lookup.h"
#include "core/recovery/subtree_tally.h"
#include "platform/files.h"

namespace dudorazu {
namespace {

SaveRequest requestFor(const CheckRow& row, const PaneKeys& keys, const std::string& destination) {
  SaveRequest r;
  r.fileNumber = row.fileNumber;
  r.createdText = row.createdText;
  r.name = row.name;
  r.diskKey = keys.diskKey;
  r.partitionKey = keys.partitionKey;
  r.destination = destination;
  r.rowId = row.rowId;
  return r;
}

}  // namespace

std::vector<SaveRequest> collectLeftRequests(const std::vector<CheckRow>& rows, const PaneKeys& keys,
                                             const std::string& destination) {
  std::vector<SaveRequest> requests;
  // Depth first in row order; a stack of sibling lists keeps deep trees off
  // the call stack.
  struct Level {
    const std::vector<CheckRow>* rows;
    size_t next;
  };
  std::vector<Level> stack{{&rows, 0}};
  while (!stack.empty()) {
    Level& level = stack.back();
    if (level.next >= level.rows->size()) {
      stack.pop_back();
      continue;
    }
    const CheckRow& row = (*level.rows)[level.next++];
    if (row.check == 1) requests.push_back(requestFor(row, keys, destination));
    else if (row.check == 2 && !row.children.empty()) stack.push_back({&row.children, 0});
  }
  return requests;
}

std::vector<SaveRequest> collectRightRequests(const std::vector<CheckRow>& rows, const PaneKeys& keys,
                                              const std::string& destination) {
  std::vector<SaveRequest> requests;
  for (const CheckRow& row : rows)
    if (row.check != 0) requests.push_back(requestFor(row, keys, destination));
  return requests;
}

uint64_t batchTotal(DiskCatalogue& catalogue, const std::vector<SaveRequest>& requests) {
  uint64_t total = 0;
  for (const SaveRequest& r : requests) {
    ExfatFileRecord* record =
        locateRecord(catalogue, r.diskKey, r.partitionKey, r.fileNumber, r.name, r.createdText);
    uint64_t bytes = subtreeBytes(record);
    total = total + bytes < total ? UINT64_MAX : total + bytes;
  }
  return total;
}

std::string singleSaveRoomMessage(uint64_t total) {
  return "即将保存 " + formatSizeShort(total) + ",磁盘空间不够！";
}

bool refuseSingleSaveForRoom(uint64_t total, uint64_t freeBytes, MessageSink& messages) {
  if (total < freeBytes) return false;
  messages.show(singleSaveRoomMessage(total), kApplicationTitle);
  return true;
}

bool refuseBatchForRoom(uint64_t total, uint64_t freeBytes, MessageSink& messages) {
  if (total <= freeBytes) return false;
  messages.show(kBatchRoomMessage, kApplicationTitle);
  return true;
}

bool destinationFreeBytes(const std::string& destination, uint64_t& freeBytes) {
  // The nearest folder that exists on the way up is where the files will land.
  std::string path = destination.empty() ? std::string(".") : destination;
  while (platform::pathKind(path) == platform::PathKind::Missing) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return platform::freeBytesAvailable(".", freeBytes);
    if (slash == 0) return platform::freeBytesAvailable("/", freeBytes);
    path.resize(slash);
  }
  return platform::freeBytesAvailable(path, freeBytes);
}

}  // namespace dudorazu
