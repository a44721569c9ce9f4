// Linux backend of the path identity questions: stat for files, sysfs for
// partitions (their start and parent disk) and loop devices (their backing
// file and offset), /proc/self/mountinfo for file systems whose device
// number is not a block device (FUSE).
#include <fcntl.h>
#include <linux/loop.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/linux/linux_storage_extent.h"

namespace dudorazu::platform {
namespace {

// A loop device over a partition over a loop device ... ends somewhere;
// a cycle cannot be set up, but sysfs is not trusted to say so.
constexpr int kMaxStacking = 8;

std::string numbers(dev_t device) { return std::to_string(major(device)) + ":" + std::to_string(minor(device)); }

bool readLine(const std::string& path, std::string& line) {
  std::ifstream in(path);
  return static_cast<bool>(std::getline(in, line));
}

bool readNumber(const std::string& path, uint64_t& value) {
  std::string line;
  if (!readLine(path, line) || line.empty()) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(line.c_str(), &end, 10);
  if (errno != 0 || end == line.c_str()) return false;
  value = v;
  return true;
}

bool readDeviceNumber(const std::string& path, dev_t& device) {
  std::string line;
  unsigned majorNumber = 0, minorNumber = 0;
  if (!readLine(path, line) || std::sscanf(line.c_str(), "%u:%u", &majorNumber, &minorNumber) != 2) return false;
  device = makedev(majorNumber, minorNumber);
  return true;
}

void setFile(StorageExtent& e, const struct stat& st) {
  e.holderIsDisk = false;
  e.holderDevice = static_cast<uint64_t>(st.st_dev);
  e.holderInode = static_cast<uint64_t>(st.st_ino);
}

// Where the bytes of block device `device` live; the window starts at the
// device's own first byte. /sys and /dev are read under `root`.
void locateBlock(const std::string& root, dev_t device, StorageExtent& e, int depth) {
  std::string sys = root + "/sys/dev/block/" + numbers(device);
  uint64_t sectors = 0;
  if (readNumber(sys + "/size", sectors) && sectors <= UINT64_MAX / 512) e.length = sectors * 512;
  e.holderIsDisk = true;
  e.holderDevice = static_cast<uint64_t>(device);
  e.holderInode = 0;

  // A partition is a window of its parent disk, found one folder up.
  uint64_t start = 0;
  char resolved[PATH_MAX];
  if (::access((sys + "/partition").c_str(), F_OK) == 0 && readNumber(sys + "/start", start) &&
      ::realpath(sys.c_str(), resolved)) {
    std::string parent(resolved);
    parent = parent.substr(0, parent.rfind('/'));
    dev_t parentDevice{};
    if (readDeviceNumber(parent + "/dev", parentDevice) && start <= UINT64_MAX / 512) {
      device = parentDevice;
      sys = root + "/sys/dev/block/" + numbers(device);
      e.holderDevice = static_cast<uint64_t>(device);
      e.offset += start * 512;
    }
  }

  // A loop device is a window of its backing file, or of the disk it is set
  // up over. The kernel's own record (device and inode) survives the file
  // being renamed; the sysfs path is needed when the backing is a device.
  std::string backing;
  if (!readLine(sys + "/loop/backing_file", backing)) return;
  uint64_t loopOffset = 0;
  readNumber(sys + "/loop/offset", loopOffset);
  struct stat st {};
  bool backingKnown = ::stat(backing.c_str(), &st) == 0;
  if (backingKnown && S_ISBLK(st.st_mode) && depth < kMaxStacking) {
    StorageExtent inner;
    locateBlock(root, st.st_rdev, inner, depth + 1);
    e.holderIsDisk = inner.holderIsDisk;
    e.holderDevice = inner.holderDevice;
    e.holderInode = inner.holderInode;
    e.offset += inner.offset + loopOffset;
    return;
  }
  struct loop_info64 info {};
  int fd = ::open((root + "/dev/block/" + numbers(device)).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  bool asked = fd >= 0 && ::ioctl(fd, LOOP_GET_STATUS64, &info) == 0;
  if (fd >= 0) ::close(fd);
  if (asked && !(backingKnown && S_ISREG(st.st_mode) && st.st_ino == info.lo_inode)) {
    e.holderIsDisk = false;
    e.holderDevice = info.lo_device;
    e.holderInode = info.lo_inode;
    e.offset += info.lo_offset;
  } else if (backingKnown) {
    setFile(e, st);
    e.offset += asked ? info.lo_offset : loopOffset;
  }
}

std::string parentOf(const std::string& path) {
  size_t slash = path.find_last_not_of('/');
  slash = slash == std::string::npos ? std::string::npos : path.rfind('/', slash);
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return "/";
  size_t slash = path.rfind('/', end);
  return path.substr(slash == std::string::npos ? 0 : slash + 1, end - (slash == std::string::npos ? 0 : slash + 1) + 1);
}

// The mount source of the file system with device number `device`.
std::string mountSource(dev_t device) {
  std::ifstream in("/proc/self/mountinfo");
  const std::string wanted = numbers(device);
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    std::string id, parent, numbers;
    fields >> id >> parent >> numbers;
    if (numbers != wanted) continue;
    size_t dash = line.find(" - ");
    if (dash == std::string::npos) continue;
    std::istringstream tail(line.substr(dash + 3));
    std::string type, source;
    tail >> type >> source;
    return source;
  }
  return {};
}

}  // namespace

StorageExtent blockDeviceExtent(unsigned majorNumber, unsigned minorNumber, const std::string& root) {
  StorageExtent e;
  e.kind = StorageExtent::Kind::BlockDevice;
  locateBlock(root, makedev(majorNumber, minorNumber), e, 0);
  return e;
}

StorageExtent storageExtent(const std::string& path) {
  StorageExtent e;
  struct stat st {};
  if (path.empty()) return e;
  if (::stat(path.c_str(), &st) != 0) {
    // Two outputs that do not exist yet are the same file when they name
    // one entry of one folder.
    struct stat folder {};
    if (::stat(parentOf(path).c_str(), &folder) == 0) setFile(e, folder);
    e.missingName = lastComponent(path);
    return e;
  }
  if (S_ISBLK(st.st_mode)) {
    e.kind = StorageExtent::Kind::BlockDevice;
    locateBlock("", st.st_rdev, e, 0);
    return e;
  }
  setFile(e, st);
  if (S_ISREG(st.st_mode)) {
    e.kind = StorageExtent::Kind::RegularFile;
    e.length = static_cast<uint64_t>(st.st_size);
  } else {
    e.kind = S_ISDIR(st.st_mode) ? StorageExtent::Kind::Folder : StorageExtent::Kind::Other;
  }
  return e;
}

StorageExtent volumeExtent(const std::string& folder) {
  if (const VolumeStandIn& standIn = volumeStandIn())
    if (std::optional<StorageExtent> answer = standIn(folder)) return *answer;
  std::string path = folder.empty() ? "." : folder;
  struct stat st {};
  for (int up = 0; ::stat(path.c_str(), &st) != 0; ++up) {
    if (up > 4096 || path == "/" || path == ".") return {};
    path = parentOf(path);
  }
  StorageExtent e;
  if (::access(("/sys/dev/block/" + numbers(st.st_dev)).c_str(), F_OK) == 0) {
    e.kind = StorageExtent::Kind::BlockDevice;
    locateBlock("", st.st_dev, e, 0);
    return e;
  }
  std::string source = mountSource(st.st_dev);
  struct stat device {};
  if (!source.empty() && source[0] == '/' && ::stat(source.c_str(), &device) == 0) {
    if (S_ISBLK(device.st_mode)) return storageExtent(source);
    // A file system in an image file mounted straight from the file.
    if (S_ISREG(device.st_mode)) return storageExtent(source);
  }
  return {};
}

}  // namespace dudorazu::platform
