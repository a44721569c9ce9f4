#include "core/recovery/save_requests.h"


#include "core/common/tree_walk.h"
#include "core/exfat/subtree_tally.h"
#include "core/present/display_format.h"
#include "core/recovery/record_lookup.h"
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
  for (const CheckRow& top : rows)
    walkTree(top, [&](const CheckRow& row, size_t) {
      if (row.check == 1) requests.push_back(requestFor(row, keys, destination));
      return row.check == 2 ? WalkStep::Descend : WalkStep::Skip;
    });
  return requests;
}

std::vector<SaveRequest> collectRightRequests(const std::vector<CheckRow>& rows, const PaneKeys& keys,
                                              const std::string& destination) {
  std::vector<SaveRequest> requests;
  for (const CheckRow& row : rows)
    if (row.check != 0) requests.push_back(requestFor(row, keys, destination));
  return requests;
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
  // Nothing can be saved below a file.
  if (platform::pathKind(path) != platform::PathKind::Folder) return false;
  return platform::freeBytesAvailable(path, freeBytes);
}

}  // namespace dudorazu
