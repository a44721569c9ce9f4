#include "core/tools/system_disk_guard.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace dudorazu {
namespace {

using DevNumber = std::pair<unsigned, unsigned>;

std::string canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

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
std::set<DevNumber> diskDevices(const DiskRecord& disk, const MountSources& sources) {
  std::set<DevNumber> devices;
  struct stat st {};
  if (::stat(disk.devicePath.c_str(), &st) != 0) return devices;
  if (S_ISBLK(st.st_mode)) {
    devices.insert({::major(st.st_rdev), ::minor(st.st_rdev)});
    return devices;
  }
  std::string image = canonical(disk.devicePath);
  std::string blockDir = sources.sysRoot + "/block";
  DIR* dir = ::opendir(blockDir.c_str());
  if (!dir) return devices;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name.rfind("loop", 0) != 0) continue;
    std::string backing = firstLine(blockDir + "/" + name + "/loop/backing_file");
    DevNumber dev;
    if (!backing.empty() && canonical(backing) == image && parseDev(firstLine(blockDir + "/" + name + "/dev"), dev))
      devices.insert(dev);
  }
  ::closedir(dir);
  return devices;
}

// True when `dev` is one of `disk`, a partition of one, or a device built on
// one of them (device mapper, md), followed a few levels down.
bool liesOn(const DevNumber& dev, const std::set<DevNumber>& disk, const MountSources& sources, int depth = 0) {
  if (disk.count(dev)) return true;
  if (depth > 4) return false;
  std::string node = canonical(sources.sysRoot + "/dev/block/" + devText(dev));
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
    if (parseDev(firstLine(node + "/slaves/" + name + "/dev"), slave) && liesOn(slave, disk, sources, depth + 1)) {
      found = true;
      break;
    }
  }
  ::closedir(slaves);
  return found;
}

}  // namespace

bool diskHasMountedVolume(const DiskRecord& disk, const MountSources& sources) {
  for (const PartitionRecord& p : disk.partitions)
    if (!p.driveLetter.empty()) return true;
  std::set<DevNumber> devices = diskDevices(disk, sources);
  if (devices.empty()) return false;

  std::ifstream mountinfo(sources.mountinfo);
  std::string line;
  while (std::getline(mountinfo, line)) {
    // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
    std::istringstream fields(line);
    std::string id, parent, devField, word;
    fields >> id >> parent >> devField;
    DevNumber dev;
    if (parseDev(devField, dev) && liesOn(dev, devices, sources)) return true;
    while (fields >> word && word != "-") {
    }
    std::string fsType, source;
    fields >> fsType >> source;
    // FUSE and some other file systems report an anonymous device number;
    // their source names the block device they read.
    struct stat st {};
    if (!source.empty() && source[0] == '/' && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
        liesOn({::major(st.st_rdev), ::minor(st.st_rdev)}, devices, sources))
      return true;
  }
  return false;
}

}  // namespace dudorazu
