// sysfs drive enumeration and mountinfo mount points.
#include "platform/linux/linux_drive_enumerator.h"

#include <fcntl.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "core/common/text.h"
#include "platform/devices.h"

namespace dudorazu::platform {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxDrives = 16;

// Kinds of whole-disk devices, in the order they are numbered.
enum class DiskClass { Scsi, Ide, Virtio, Xen, Nvme, Mmc, Loop, None };

bool allLetters(const std::string& s, size_t from) {
  return from < s.size() && std::all_of(s.begin() + static_cast<long>(from), s.end(),
                                        [](char c) { return c >= 'a' && c <= 'z'; });
}
bool allDigits(const std::string& s, size_t from, size_t to) {
  return from < to && to <= s.size() &&
         std::all_of(s.begin() + static_cast<long>(from), s.begin() + static_cast<long>(to),
                     [](char c) { return c >= '0' && c <= '9'; });
}
bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

DiskClass classify(const std::string& name) {
  if (startsWith(name, "xvd")) return allLetters(name, 3) ? DiskClass::Xen : DiskClass::None;
  if (startsWith(name, "sd")) return allLetters(name, 2) ? DiskClass::Scsi : DiskClass::None;
  if (startsWith(name, "hd")) return allLetters(name, 2) ? DiskClass::Ide : DiskClass::None;
  if (startsWith(name, "vd")) return allLetters(name, 2) ? DiskClass::Virtio : DiskClass::None;
  if (startsWith(name, "nvme")) {
    // nvme<ctrl>n<ns>; the per-path nodes nvme<c>c<p>n<ns> are hidden duplicates.
    size_t n = name.find('n', 4);
    return n != std::string::npos && allDigits(name, 4, n) && allDigits(name, n + 1, name.size())
               ? DiskClass::Nvme
               : DiskClass::None;
  }
  // mmcblk<N> only: the boot and rpmb areas are no user disks.
  if (startsWith(name, "mmcblk")) return allDigits(name, 6, name.size()) ? DiskClass::Mmc : DiskClass::None;
  if (startsWith(name, "loop")) return allDigits(name, 4, name.size()) ? DiskClass::Loop : DiskClass::None;
  return DiskClass::None;
}

// sda < sdb < sdz < sdaa; loop2 < loop10.
bool naturalLess(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    bool digitA = a[i] >= '0' && a[i] <= '9';
    bool digitB = b[j] >= '0' && b[j] <= '9';
    size_t ei = i, ej = j;
    while (ei < a.size() && ((a[ei] >= '0' && a[ei] <= '9') == digitA)) ++ei;
    while (ej < b.size() && ((b[ej] >= '0' && b[ej] <= '9') == digitB)) ++ej;
    std::string ra = a.substr(i, ei - i), rb = b.substr(j, ej - j);
    if (digitA && digitB) {
      ra.erase(0, std::min(ra.find_first_not_of('0'), ra.size()));
      rb.erase(0, std::min(rb.find_first_not_of('0'), rb.size()));
    }
    if (digitA != digitB) return digitA;
    if (ra.size() != rb.size()) return ra.size() < rb.size();
    if (ra != rb) return ra < rb;
    i = ei;
    j = ej;
  }
  return a.size() - i < b.size() - j;
}

// The first line of a sysfs attribute without its line break; nothing when
// it cannot be read.
std::optional<std::string> readAttribute(const fs::path& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string line;
  std::getline(in, line);
  return line;
}

std::string firstAttribute(const fs::path& dir, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (auto v = readAttribute(dir / n)) return *v;
  return {};
}

uint64_t numberAttribute(const fs::path& path) {
  auto v = readAttribute(path);
  if (!v) return 0;
  uint64_t value = 0;
  for (char c : *v) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

std::vector<std::string> blockNames(const fs::path& blockDir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(blockDir, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  return names;
}

bool fillIdentity(const fs::path& dir, DiskClass kind, DriveIdentity& d) {
  if (kind == DiskClass::Loop) {
    auto backing = readAttribute(dir / "loop" / "backing_file");
    if (!backing) return false;
    d.vendor = "Loop";
    d.product = fs::path(*backing).filename().string();
    return true;
  }
  std::error_code ec;
  fs::path device = dir / "device";
  if (!fs::is_directory(device, ec)) return false;
  d.vendor = firstAttribute(device, {"vendor"});
  d.product = firstAttribute(device, {"model", "name"});
  d.revision = firstAttribute(device, {"rev", "firmware_rev", "fwrev"});
  return true;
}

// The geometry the driver reports, when it reports one. Cylinders follow
// from the size: the driver's count is only 16 bits wide.
void readGeometry(DriveIdentity& d) {
  int fd = ::open(d.devicePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct hd_geometry g {};
  if (::ioctl(fd, HDIO_GETGEO, &g) == 0 && g.heads != 0 && g.sectors != 0) {
    d.geometryKnown = true;
    d.heads = g.heads;
    d.sectorsPerTrack = g.sectors;
    d.cylinders = static_cast<uint32_t>(d.sizeBytes / kSectorSize / g.heads / g.sectors);
  }
  ::close(fd);
}

}  // namespace

std::string unescapeMountField(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char* d = field.c_str() + i + 1;
      if (d[0] >= '0' && d[0] <= '3' && d[1] >= '0' && d[1] <= '7' && d[2] >= '0' && d[2] <= '7') {
        out.push_back(static_cast<char>((d[0] - '0') * 64 + (d[1] - '0') * 8 + (d[2] - '0')));
        i += 3;
        continue;
      }
    }
    out.push_back(field[i]);
  }
  return out;
}

SysfsDriveEnumerator::SysfsDriveEnumerator(std::string sysRoot, std::string devRoot, std::string mountinfoPath)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)), mountinfoPath_(std::move(mountinfoPath)) {}

std::vector<DriveIdentity> SysfsDriveEnumerator::listDrives() {
  fs::path blockDir = fs::path(sysRoot_) / "block";
  std::vector<std::pair<DiskClass, std::string>> disks;
  for (const std::string& name : blockNames(blockDir)) {
    DiskClass kind = classify(name);
    if (kind == DiskClass::None) continue;
    if (readAttribute(blockDir / name / "hidden").value_or("0") == "1") continue;
    // A loop device without a backing file holds nothing.
    if (kind == DiskClass::Loop && readAttribute(blockDir / name / "loop" / "backing_file").value_or("").empty())
      continue;
    disks.emplace_back(kind, name);
  }
  std::sort(disks.begin(), disks.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : naturalLess(a.second, b.second);
  });
  if (disks.size() > kMaxDrives) disks.resize(kMaxDrives);

  std::vector<DriveIdentity> drives;
  for (size_t i = 0; i < disks.size(); ++i) {
    const auto& [kind, name] = disks[i];
    fs::path dir = blockDir / name;
    DriveIdentity d;
    d.number = static_cast<int>(i);
    d.devicePath = (fs::path(devRoot_) / name).string();
    d.identified = fillIdentity(dir, kind, d);
    if (!d.identified) d.errorText = d.devicePath + ": " + std::strerror(ENOENT) + " (no device identification in sysfs)";
    d.sizeBytes = numberAttribute(dir / "size") * kSectorSize;
    d.removable = readAttribute(dir / "removable").value_or("0") == "1";
    if (d.identified) readGeometry(d);
    drives.push_back(std::move(d));
  }
  return drives;
}

std::vector<MountedVolume> SysfsDriveEnumerator::listMountedVolumes() {
  // major:minor of every disk and partition -> (disk device, start sector).
  std::map<std::string, std::pair<std::string, uint64_t>> devices;
  fs::path blockDir = fs::path(sysRoot_) / "block";
  for (const std::string& name : blockNames(blockDir)) {
    fs::path dir = blockDir / name;
    std::string diskPath = (fs::path(devRoot_) / name).string();
    if (auto dev = readAttribute(dir / "dev")) devices[*dev] = {diskPath, 0};
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code fec;
      if (!fs::exists(it->path() / "partition", fec)) continue;
      if (auto dev = readAttribute(it->path() / "dev"))
        devices[*dev] = {diskPath, numberAttribute(it->path() / "start")};
    }
  }

  std::vector<MountedVolume> volumes;
  std::set<std::string> seen;
  std::ifstream in(mountinfoPath_);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, majorMinor, root, mountPoint;
    if (!(fields >> id >> parent >> majorMinor >> root >> mountPoint)) continue;
    auto found = devices.find(majorMinor);
    if (found == devices.end() || !seen.insert(majorMinor).second) continue;
    volumes.push_back({unescapeMountField(mountPoint), found->second.first, found->second.second});
  }
  return volumes;
}

bool runsAsAdministrator() { return ::geteuid() == 0; }

bool isPhysicalDrivePath(const std::string& path) { return path.rfind("/dev/", 0) == 0; }

std::unique_ptr<DriveEnumerator> makeDriveEnumerator() {
  return std::make_unique<SysfsDriveEnumerator>("/sys", "/dev", "/proc/self/mountinfo");
}

}  // namespace dudorazu::platform
