// Linux backend of output files: a descriptor opened with O_CREAT|O_EXCL,
// pwrite, ftruncate for a hole at the end and futimens for the time; output
// folders as descriptors, with mkdirat, openat and renameat2 relative to them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/output_file.h"

namespace dudorazu::platform {
namespace {

int fdOf(std::intptr_t native) { return static_cast<int>(native); }

// Access and modification time both set to `when`.
bool setTimes(int fd, std::time_t when) {
  struct timespec times[2];
  times[0].tv_sec = when;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return ::futimens(fd, times) == 0;
}

// One component: anything else would reach outside the folder.
bool isComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

int openFolderAt(int at, const char* name, int extraFlags) {
  int fd;
  do {
    fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | extraFlags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool identify(int fd, uint64_t& device, uint64_t& object) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  device = static_cast<uint64_t>(st.st_dev);
  object = static_cast<uint64_t>(st.st_ino);
  return true;
}

}  // namespace

bool FolderHandle::open(const std::string& path) {
  close();
  int fd = openFolderAt(AT_FDCWD, path.c_str(), 0);
  if (fd < 0) return false;
  native_ = fd;
  if (!identify(fd, device_, object_)) close();
  return isOpen();
}

FolderHandle::Outcome FolderHandle::openChild(const FolderHandle& parent, const std::string& name) {
  close();
  if (!parent.isOpen() || !isComponent(name)) return Outcome::Failed;
  const int at = fdOf(parent.native_);
  bool made = ::mkdirat(at, name.c_str(), 0755) == 0;
  if (!made && errno != EEXIST) return Outcome::Failed;
  int fd = openFolderAt(at, name.c_str(), O_NOFOLLOW);
  if (fd < 0) return !made && (errno == ENOTDIR || errno == ELOOP) ? Outcome::NameTaken : Outcome::Failed;
  native_ = fd;
  if (!identify(fd, device_, object_)) {
    close();
    return Outcome::Failed;
  }
  return made ? Outcome::Made : Outcome::Opened;
}

void FolderHandle::park() {
  if (native_ != kNone) ::close(fdOf(native_));
  native_ = kNone;
}

bool FolderHandle::reopenAbove(const FolderHandle& child) {
  if (!child.isOpen()) return false;
  park();
  int fd = openFolderAt(fdOf(child.native_), "..", 0);
  if (fd < 0) return false;
  uint64_t device = 0, object = 0;
  // Moved meanwhile: what stands above now is not the folder this was.
  if (!identify(fd, device, object) || device != device_ || object != object_) {
    ::close(fd);
    return false;
  }
  native_ = fd;
  return true;
}

bool FolderHandle::setModifiedTime(std::time_t when) {
  return isOpen() && setTimes(fdOf(native_), when);
}

void FolderHandle::close() {
  park();
  device_ = object_ = 0;
  path_.clear();
}

RenameOutcome renameNoReplaceIn(const FolderHandle& folder, const std::string& from, const std::string& to) {
  if (!folder.isOpen() || !isComponent(from) || !isComponent(to)) return RenameOutcome::Failed;
  const int at = fdOf(folder.native());
  if (::renameat2(at, from.c_str(), at, to.c_str(), RENAME_NOREPLACE) == 0) return RenameOutcome::Renamed;
  if (errno == EEXIST) return RenameOutcome::NameTaken;
  // File systems without the no-replace rename: a new link never replaces.
  if (errno != EINVAL) return RenameOutcome::Failed;
  if (::linkat(at, from.c_str(), at, to.c_str(), 0) != 0)
    return errno == EEXIST ? RenameOutcome::NameTaken : RenameOutcome::Failed;
  ::unlinkat(at, from.c_str(), 0);
  return RenameOutcome::Renamed;
}

namespace {

CreateOutcome createAt(int at, const char* path, std::intptr_t& native, int& error) {
  int fd;
  do {
    fd = ::openat(at, path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    native = fd;
    error = 0;
    return CreateOutcome::Created;
  }
  error = errno;
  if (error == EEXIST) return CreateOutcome::NameTaken;
  if (error == ENOENT || error == ENOTDIR) return CreateOutcome::FolderMissing;
  return CreateOutcome::Refused;
}

}  // namespace

CreateOutcome OutputHandle::createExclusive(const std::string& path) {
  close();
  return createAt(AT_FDCWD, path.c_str(), native_, error_);
}

CreateOutcome OutputHandle::createExclusiveIn(const FolderHandle& folder, const std::string& name) {
  close();
  if (!isComponent(name)) return CreateOutcome::Refused;
  if (!folder.isOpen()) return CreateOutcome::FolderMissing;
  return createAt(fdOf(folder.native()), name.c_str(), native_, error_);
}

size_t OutputHandle::writeAt(uint64_t offset, const void* data, size_t length) {
  const auto* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pwrite(fdOf(native_), p + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

bool OutputHandle::extendTo(uint64_t length) {
  struct stat st {};
  if (::fstat(fdOf(native_), &st) == 0 && static_cast<uint64_t>(st.st_size) >= length) return true;
  if (::ftruncate(fdOf(native_), static_cast<off_t>(length)) == 0) return true;
  error_ = errno;
  return false;
}

void OutputHandle::setModifiedTime(std::time_t when) {
  setTimes(fdOf(native_), when);
}

bool OutputHandle::close() {
  if (native_ == kNone) return true;
  bool ok = true;
  if (::close(fdOf(native_)) != 0 && errno != EINTR) {
    error_ = errno;
    ok = false;
  }
  native_ = kNone;
  return ok;
}

}  // namespace dudorazu::platform
