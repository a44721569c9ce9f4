#include "core/recovery/save_room.h"

#include "core/present/display_format.h"
#include "platform/files.h"

namespace dudorazu {

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
