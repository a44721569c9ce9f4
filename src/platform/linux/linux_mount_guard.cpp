// Linux backend of the mounted-disk question: /proc/self/mountinfo for
// what is mounted, sysfs for the partitions, loop devices and stacked
// devices (device mapper, md) that lie on a disk.
#include "platform/linux/linux_mount_guard.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <set>
#include <sstream>

#include "platform/devices.h"
#include "platform/files.h"

namespace dudorazu::platform {
namespace {

using DevNumber = std::pair<unsigned, unsigned>;

std::string firstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool parseDev(const std::string& text, DevNumber& dev) {
  unsigned major = 0, minor = 0;
  char colon = 0;
  std::istringstream in(text);
  if (!(in >> major >> colon >> minor) || colon != ':') return false;
  dev = {major, minor};
  return true;
}

std::string devText(const DevNumber& dev) { return std::to_string(dev.first) + ":" + std::to_string(dev.second); }

// The block devices that stand for the disk: the device itself, or every
// loop device whose backing file is the image.
std::set<DevNumber> diskDevices(const std::string& path, const std::string& sysRoot) {
  std::set<DevNumber> devices;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return devices;
  if (S_ISBLK(st.st_mode)) {
    devices.insert({::major(st.st_rdev), ::minor(st.st_rdev)});
    return devices;
  }
  std::string image = canonicalPath(path);
  std::string blockDir = sysRoot + "/block";
  DIR* dir = ::opendir(blockDir.c_str());
  if (!dir) return devices;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name.rfind("loop", 0) != 0) continue;
    std::string backing = firstLine(blockDir + "/" + name + "/loop/backing_file");
    DevNumber dev;
    if (!backing.empty() && canonicalPath(backing) == image && parseDev(firstLine(blockDir + "/" + name + "/dev"), dev))
      devices.insert(dev);
  }
  ::closedir(dir);
  return devices;
}

// True when `dev` is one of `disk`, a partition of one, or a device built on
// one of them (device mapper, md), followed a few levels down.
bool liesOn(const DevNumber& dev, const std::set<DevNumber>& disk, const std::string& sysRoot, int depth = 0) {
  if (disk.count(dev)) return true;
  if (depth > 4) return false;
  std::string node = canonicalPath(sysRoot + "/dev/block/" + devText(dev));
  if (node.empty()) return false;
  DevNumber parent;
  std::ifstream partitionFile(node + "/partition");
  if (partitionFile && parseDev(firstLine(node + "/../dev"), parent) && disk.count(parent)) return true;
  DIR* slaves = ::opendir((node + "/slaves").c_str());
  if (!slaves) return false;
  bool found = false;
  while (dirent* entry = ::readdir(slaves)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    DevNumber slave;
    if (parseDev(firstLine(node + "/slaves/" + name + "/dev"), slave) && liesOn(slave, disk, sysRoot, depth + 1)) {
      found = true;
      break;
    }
  }
  ::closedir(slaves);
  return found;
}

}  // namespace

bool diskInUse(const std::string& path, const std::string& mountinfoPath, const std::string& sysRoot) {
  std::set<DevNumber> devices = diskDevices(path, sysRoot);
  if (devices.empty()) return false;

  std::ifstream mountinfo(mountinfoPath);
  std::string line;
  while (std::getline(mountinfo, line)) {
    // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
    std::istringstream fields(line);
    std::string id, parent, devField, word;
    fields >> id >> parent >> devField;
    DevNumber dev;
    if (parseDev(devField, dev) && liesOn(dev, devices, sysRoot)) return true;
    while (fields >> word && word != "-") {
    }
    std::string fsType, source;
    fields >> fsType >> source;
    // FUSE and some other file systems report an anonymous device number;
    // their source names the block device they read.
    struct stat st {};
    if (!source.empty() && source[0] == '/' && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
        liesOn({::major(st.st_rdev), ::minor(st.st_rdev)}, devices, sysRoot))
      return true;
  }
  return false;
}

bool diskInUse(const std::string& path) { return diskInUse(path, "/proc/self/mountinfo", "/sys"); }

}  // namespace dudorazu::platform
