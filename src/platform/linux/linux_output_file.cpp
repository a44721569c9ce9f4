// Linux backend of output files: a descriptor opened with O_CREAT|O_EXCL,
// pwrite, ftruncate for a hole at the end and futimens for the time.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/output_file.h"

namespace dudorazu::platform {
namespace {

int fdOf(std::intptr_t native) { return static_cast<int>(native); }

}  // namespace

CreateOutcome OutputHandle::createExclusive(const std::string& path) {
  close();
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    native_ = fd;
    error_ = 0;
    return CreateOutcome::Created;
  }
  error_ = errno;
  if (error_ == EEXIST) return CreateOutcome::NameTaken;
  if (error_ == ENOENT || error_ == ENOTDIR) return CreateOutcome::FolderMissing;
  return CreateOutcome::Refused;
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
  struct timespec times[2];
  times[0].tv_sec = when;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  ::futimens(fdOf(native_), times);
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
