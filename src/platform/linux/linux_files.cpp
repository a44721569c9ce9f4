// Linux backend of the path questions and changes: stat, realpath, statvfs,
// mkdir, access, renameat2 and utimensat.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"

namespace dudorazu::platform {

PathKind pathKind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return PathKind::Missing;
  if (S_ISREG(st.st_mode)) return PathKind::RegularFile;
  if (S_ISBLK(st.st_mode)) return PathKind::BlockDevice;
  if (S_ISDIR(st.st_mode)) return PathKind::Folder;
  return PathKind::Other;
}

std::string canonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool freeBytesAvailable(const std::string& path, uint64_t& freeBytes) {
  struct statvfs vfs {};
  if (::statvfs(path.c_str(), &vfs) != 0) return false;
  freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  return true;
}

bool makeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }

std::string folderProblem(const std::string& folder, bool create) {
  if (folder.empty()) return "no folder given";
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) return "it is not a folder";
  } else if (!create) {
    return "";  // nothing is made in it
  } else {
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
      std::string prefix = folder.substr(0, slash);
      if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return std::strerror(errno);
      if (slash == std::string::npos) break;
    }
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return "it cannot be made";
  }
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
  return "";
}

RenameOutcome renameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return RenameOutcome::Renamed;
  if (errno == EEXIST) return RenameOutcome::NameTaken;
  // File systems without the no-replace rename: a new link never replaces.
  if (errno != EINVAL) return RenameOutcome::Failed;
  if (::link(from.c_str(), to.c_str()) != 0) return errno == EEXIST ? RenameOutcome::NameTaken : RenameOutcome::Failed;
  ::unlink(from.c_str());
  return RenameOutcome::Renamed;
}

bool replaceFile(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

bool setFileTimes(const std::string& path, std::time_t when) {
  struct timespec times[2];
  times[0].tv_sec = when;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool reservedFileName(const std::string&) { return false; }

// Without TZ the C library checks /etc/localtime at each conversion; naming
// that same file keeps the zone and drops the check.
void settleLocalTimeZone() {
  if (!std::getenv("TZ")) ::setenv("TZ", ":/etc/localtime", 0);
}

}  // namespace dudorazu::platform
