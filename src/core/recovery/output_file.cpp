#include "core/recovery/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/recovery/name_repair.h"

namespace dudorazu {
namespace {

// Derived names are tried up to this counter; past it the file is reported
// as not created rather than probing forever.
constexpr uint64_t kMaxCounter = 10'000'000;

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The counter goes before the extension of the name itself; a dot in a
// folder above does not count (photos.2019/README -> photos.2019/README0).
std::string derivedName(const std::string& path, uint64_t n) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot != std::string::npos && slash != std::string::npos && dot < slash) dot = std::string::npos;
  std::string candidate = path + std::to_string(n);
  if (dot != std::string::npos) candidate += path.substr(dot);
  // A long name plus its counter may pass the component limit: shorten the
  // stem instead of failing.
  size_t leafStart = slash == std::string::npos ? 0 : slash + 1;
  size_t leafLength = candidate.size() - leafStart;
  if (leafLength > kMaxNameBytes) {
    std::string suffix = std::to_string(n);
    if (dot != std::string::npos && dot >= leafStart) suffix += path.substr(dot);
    std::string stem = path.substr(leafStart);
    if (suffix.size() >= kMaxNameBytes) return candidate;
    size_t keep = kMaxNameBytes - suffix.size();
    while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
    candidate = path.substr(0, leafStart) + stem.substr(0, keep) + suffix;
  }
  return candidate;
}

int createExclusive(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// EEXIST: that name is taken. ENOENT/ENOTDIR: a folder above is missing.
// Anything else: the target refuses this name; no other name will help.
int openFirstFree(const std::string& path, SaveNamespace* names, std::string& opened) {
  int fd = createExclusive(path);
  if (fd >= 0 || errno != EEXIST) {
    opened = path;
    return fd;
  }
  uint64_t n = names ? names->nextCounter(path) : 0;
  for (; n < kMaxCounter; ++n) {
    std::string candidate = derivedName(path, n);
    fd = createExclusive(candidate);
    if (fd >= 0 || errno != EEXIST) {
      if (fd >= 0 && names) names->setNextCounter(path, n + 1);
      opened = candidate;
      return fd;
    }
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

void OutputFile::adopt(int fd, std::string path) {
  close();
  fd_ = fd;
  path_ = std::move(path);
  end_ = 0;
  mayEndShort_ = false;
  modified_.reset();
  error_ = 0;
}

uint64_t OutputFile::copyFrom(SectorDevice& device, uint64_t offset, uint64_t length) {
  uint64_t n = device.copyToFile(offset, length, fd_, end_);
  if (n > 0) {
    end_ += n;
    mayEndShort_ = true;  // the device may have passed over holes at the end
  }
  return n;
}

bool OutputFile::write(const void* data, size_t length) {
  const auto* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pwrite(fd_, p + done, length - done, static_cast<off_t>(end_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : ENOSPC;
      end_ += done;
      mayEndShort_ = false;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  end_ += length;
  mayEndShort_ = false;
  return true;
}

bool OutputFile::close() {
  if (fd_ < 0) return true;
  bool ok = true;
  // A hole at the end needs the length set explicitly.
  struct stat st {};
  if (mayEndShort_ && (::fstat(fd_, &st) != 0 || static_cast<uint64_t>(st.st_size) < end_) &&
      ::ftruncate(fd_, static_cast<off_t>(end_)) != 0) {
    error_ = errno;
    ok = false;
  }
  // Through the open file: no second path lookup, and nothing after it
  // touches the time again.
  if (modified_) {
    struct timespec times[2];
    times[0].tv_sec = *modified_;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    ::futimens(fd_, times);
  }
  if (::close(fd_) != 0 && errno != EINTR) {
    error_ = errno;
    ok = false;
  }
  fd_ = -1;
  return ok;
}

uint64_t SaveNamespace::nextCounter(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = counters_.find(path);
  return it == counters_.end() ? 0 : it->second;
}

void SaveNamespace::setNextCounter(const std::string& path, uint64_t n) {
  std::lock_guard<std::mutex> lock(mutex_);
  uint64_t& slot = counters_[path];
  if (n > slot) slot = n;
}

void SaveNamespace::noteFolderMade(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  folders_.insert(path);
}

bool SaveNamespace::madeFolder(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return folders_.count(path) != 0;
}

size_t SaveNamespace::foldersMade() {
  std::lock_guard<std::mutex> lock(mutex_);
  return folders_.size();
}

bool createFolderPath(const std::string& folder, SaveNamespace* names) {
  if (folder.empty()) return false;
  if (isFolder(folder)) return true;
  for (size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos < folder.size() && folder[pos] != '/') continue;
    if (folder[pos - 1] == '/') continue;  // "a//b"
    std::string prefix = folder.substr(0, pos);
    if (::mkdir(prefix.c_str(), 0755) == 0 && names) names->noteFolderMade(prefix);
  }
  return isFolder(folder);
}

bool openOutputFile(OutputFile& file, const std::string& path, SaveNamespace* names) {
  std::string opened;
  int fd = openFirstFree(path, names, opened);
  if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
    if (folder.empty() || !createFolderPath(folder, names)) return false;
    fd = openFirstFree(path, names, opened);
  }
  if (fd < 0) return false;
  file.adopt(fd, opened);
  return true;
}

std::optional<std::string> renameAside(const std::string& path, const std::string& suffix) {
  for (uint64_t n = 0; n < 1000; ++n) {
    std::string candidate = path + suffix + (n == 0 ? std::string() : std::to_string(n));
    if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) return candidate;
    if (errno == EEXIST) continue;
    // File systems without the no-replace rename: a new link never replaces.
    if (errno != EINVAL || ::link(path.c_str(), candidate.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return std::nullopt;
    }
    ::unlink(path.c_str());
    return candidate;
  }
  return std::nullopt;
}

}  // namespace dudorazu
