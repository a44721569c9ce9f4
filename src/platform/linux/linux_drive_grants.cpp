// The Linux registry of granted drive descriptors: a short list under a
// lock, since workers open their devices on their own threads.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/drive_grants.h"

namespace dudorazu::platform {
namespace {

struct Grant {
  std::string path;
  bool writable = false;
  int fd = -1;
};

std::mutex grantsMutex;
std::vector<Grant>& grants() {
  static std::vector<Grant> list;
  return list;
}

}  // namespace

void grantDriveDescriptor(const std::string& path, int fd, OpenMode mode) {
  if (fd < 0) return;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || mode == OpenMode::CreateWrite) {
    ::close(fd);
    return;
  }
  // What the descriptor allows counts, not what was asked for: a write
  // through a read-only descriptor would fail sector by sector.
  const bool writable = mode == OpenMode::ReadWrite && (flags & O_ACCMODE) == O_RDWR;
  std::lock_guard<std::mutex> lock(grantsMutex);
  for (Grant& g : grants()) {
    if (g.path == path && g.writable == writable) {
      ::close(g.fd);
      g.fd = fd;
      return;
    }
  }
  grants().push_back({path, writable, fd});
}

bool grantDriveDescriptorCopy(const std::string& path, int fd, OpenMode mode) {
  const int copy = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return false;
  grantDriveDescriptor(path, copy, mode);
  return true;
}

bool hasDriveGrant(const std::string& path, bool* writable) {
  std::lock_guard<std::mutex> lock(grantsMutex);
  bool found = false;
  if (writable) *writable = false;
  for (const Grant& g : grants()) {
    if (g.path != path) continue;
    found = true;
    if (writable && g.writable) *writable = true;
  }
  return found;
}

int duplicateGrantedDescriptor(const std::string& path, OpenMode mode) {
  const int saved = errno;
  if (mode == OpenMode::CreateWrite) return -1;
  std::lock_guard<std::mutex> lock(grantsMutex);
  for (const Grant& g : grants()) {
    if (g.path != path || (mode == OpenMode::ReadWrite && !g.writable)) continue;
    int fd = ::fcntl(g.fd, F_DUPFD_CLOEXEC, 0);
    if (fd >= 0) return fd;
  }
  errno = saved;
  return -1;
}

void dropDriveGrants() {
  std::lock_guard<std::mutex> lock(grantsMutex);
  for (Grant& g : grants()) ::close(g.fd);
  grants().clear();
}

}  // namespace dudorazu::platform
