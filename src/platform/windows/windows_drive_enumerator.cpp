// Drive enumeration on Windows: each \\.\PhysicalDriveN is asked for its
// identity (IOCTL_STORAGE_QUERY_PROPERTY) and geometry
// (IOCTL_DISK_GET_DRIVE_GEOMETRY_EX); each drive letter for the disk
// extents its volume covers (IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS).
#include "platform/windows/windows_drive_enumerator.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "platform/sector_device.h"
#include "platform/windows/windows_handle.h"
#include "platform/windows/windows_paths.h"

namespace dudorazu::platform {
namespace {

constexpr int kMaxDrives = 16;

// A text field of the storage descriptor, at `offset` inside `size` bytes.
std::string descriptorText(const std::vector<unsigned char>& buffer, DWORD size, DWORD offset) {
  if (offset == 0 || offset >= size) return {};
  const char* start = reinterpret_cast<const char*>(buffer.data()) + offset;
  return std::string(start, strnlen(start, size - offset));
}

class Win32DriveQueries : public DriveQueries {
 public:
  std::optional<DriveIdentity> drive(int number) override {
    DriveIdentity d;
    d.devicePath = physicalDrivePath(number);
    UniqueHandle h = openForQuery(widen(d.devicePath));
    if (!h.valid()) {
      DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
      d.errorText = d.devicePath + ": " + std::strerror(errnoFromWin32(error));
      return d;
    }
    STORAGE_PROPERTY_QUERY query{};
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    std::vector<unsigned char> buffer(1024);
    DWORD returned = 0;
    if (DeviceIoControl(h.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer.data(),
                        static_cast<DWORD>(buffer.size()), &returned, nullptr) &&
        returned >= sizeof(STORAGE_DEVICE_DESCRIPTOR)) {
      const auto* desc = reinterpret_cast<const STORAGE_DEVICE_DESCRIPTOR*>(buffer.data());
      d.identified = true;
      d.vendor = descriptorText(buffer, returned, desc->VendorIdOffset);
      d.product = descriptorText(buffer, returned, desc->ProductIdOffset);
      d.revision = descriptorText(buffer, returned, desc->ProductRevisionOffset);
      d.removable = desc->RemovableMedia != 0;
    } else {
      d.errorText = d.devicePath + ": " + std::strerror(errnoFromWin32(GetLastError())) +
                    " (the drive gave no identification)";
    }
    DISK_GEOMETRY_EX geometry{};
    if (driveGeometry(h.get(), geometry)) {
      d.sizeBytes = static_cast<uint64_t>(geometry.DiskSize.QuadPart);
      if (geometry.Geometry.TracksPerCylinder != 0 && geometry.Geometry.SectorsPerTrack != 0) {
        d.geometryKnown = true;
        d.heads = geometry.Geometry.TracksPerCylinder;
        d.sectorsPerTrack = geometry.Geometry.SectorsPerTrack;
        uint64_t cylinders = static_cast<uint64_t>(geometry.Geometry.Cylinders.QuadPart);
        d.cylinders = cylinders > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(cylinders);
      }
    }
    return d;
  }

  std::vector<Volume> volumes() override {
    std::vector<Volume> out;
    DWORD letters = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
      if (!(letters & (1u << i))) continue;
      Volume v;
      v.letter = std::string(1, static_cast<char>('A' + i)) + ":";
      if (!pieces(v)) continue;
      out.push_back(std::move(v));
    }
    return out;
  }

  std::string systemLetter() override {
    wchar_t folder[MAX_PATH + 1] = {};
    UINT n = GetWindowsDirectoryW(folder, MAX_PATH);
    if (n < 2 || n > MAX_PATH || folder[1] != L':') return {};
    return narrow(std::wstring(folder, 2));
  }

 private:
  static bool pieces(Volume& v) {
    UniqueHandle h = openForQuery(widen("\\\\.\\" + v.letter));
    if (!h.valid()) return false;
    for (const VolumeExtent& e : volumeDiskExtents(h.get())) v.pieces.push_back({e.diskNumber, e.startingOffset});
    return !v.pieces.empty();
  }
};

}  // namespace

std::vector<DriveIdentity> WindowsDriveEnumerator::listDrives() {
  std::vector<DriveIdentity> out;
  for (int n = 0; n < kMaxDrives; ++n) {
    std::optional<DriveIdentity> d = queries_->drive(n);
    if (!d) continue;
    d->number = n;
    d->devicePath = physicalDrivePath(n);
    out.push_back(std::move(*d));
  }
  return out;
}

std::vector<MountedVolume> WindowsDriveEnumerator::listMountedVolumes() {
  std::vector<MountedVolume> out;
  for (const DriveQueries::Volume& v : queries_->volumes())
    for (const DriveQueries::Piece& p : v.pieces)
      out.push_back({v.letter, physicalDrivePath(static_cast<int>(p.diskNumber)), p.startingOffset / kSectorSize});
  return out;
}

bool WindowsDriveEnumerator::driveInUse(int number) {
  const std::string system = queries_->systemLetter();
  bool systemSeen = false;
  for (const DriveQueries::Volume& v : queries_->volumes()) {
    for (const DriveQueries::Piece& p : v.pieces) {
      if (static_cast<int>(p.diskNumber) == number) return true;
    }
    systemSeen = systemSeen || v.letter == system;
  }
  // The system's volume could not be asked where it lies: no drive is
  // known to be free of it.
  return !system.empty() && !systemSeen;
}

std::unique_ptr<DriveQueries> makeWin32DriveQueries() { return std::make_unique<Win32DriveQueries>(); }

}  // namespace dudorazu::platform
