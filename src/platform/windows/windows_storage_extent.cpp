// Windows backend of path identity: a file is its volume serial number and
// file index (GetFileInformationByHandle); a drive is its number; a volume
// ("\\.\E:") is the window of the disk its extent covers.
#include <windows.h>
#include <winioctl.h>

#include <cwctype>

#include "platform/storage_extent.h"
#include "platform/windows/windows_handle.h"
#include "platform/windows/windows_paths.h"

namespace dudorazu::platform {
namespace {

std::string parentOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string lastComponent(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::wstring name = widen(slash == std::string::npos ? path : path.substr(slash + 1));
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));  // names match without case
  return narrow(name);
}

// Whole disks are told apart from files by holderIsDisk; the number is
// shifted so that drive 0 is not the "unknown" holder 0:0.
void setDisk(StorageExtent& e, unsigned long number) {
  e.holderIsDisk = true;
  e.holderDevice = static_cast<uint64_t>(number) + 1;
  e.holderInode = 0;
}

bool setFile(StorageExtent& e, const std::string& path) {
  UniqueHandle h(CreateFileW(win32Path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!h.valid() || !GetFileInformationByHandle(h.get(), &info)) return false;
  e.holderDevice = info.dwVolumeSerialNumber;
  e.holderInode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    e.kind = StorageExtent::Kind::Folder;
  } else {
    e.kind = StorageExtent::Kind::RegularFile;
    e.length = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  }
  return true;
}

// A drive or a volume: where its bytes lie on which disk.
bool setDevice(StorageExtent& e, const std::string& path) {
  UniqueHandle h = openForQuery(widen(path));
  if (!h.valid()) return false;
  e.kind = StorageExtent::Kind::BlockDevice;
  int drive = physicalDriveNumber(path);
  if (drive >= 0) {
    setDisk(e, static_cast<unsigned long>(drive));
    DISK_GEOMETRY_EX geometry{};
    if (driveGeometry(h.get(), geometry)) e.length = static_cast<uint64_t>(geometry.DiskSize.QuadPart);
    return true;
  }
  std::vector<VolumeExtent> extents = volumeDiskExtents(h.get());
  if (extents.empty()) return false;
  // A volume spanning disks is known by its first piece.
  setDisk(e, extents.front().diskNumber);
  e.offset = extents.front().startingOffset;
  e.length = extents.size() == 1 ? extents.front().length : UINT64_MAX;
  return true;
}

bool isDevicePath(const std::string& path) { return path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0; }

}  // namespace

StorageExtent storageExtent(const std::string& path) {
  StorageExtent e;
  if (path.empty()) return e;
  if (isDevicePath(path)) {
    if (!setDevice(e, path)) e = StorageExtent{};
    return e;
  }
  if (setFile(e, path)) return e;
  // Two outputs that do not exist yet are the same file when they name
  // one entry of one folder.
  StorageExtent folder;
  if (setFile(folder, parentOf(path))) {
    e.holderDevice = folder.holderDevice;
    e.holderInode = folder.holderInode;
  }
  e.kind = StorageExtent::Kind::Missing;
  e.length = UINT64_MAX;
  e.missingName = lastComponent(path);
  return e;
}

StorageExtent volumeExtent(const std::string& folder) {
  if (const VolumeStandIn& standIn = volumeStandIn())
    if (std::optional<StorageExtent> answer = standIn(folder)) return *answer;
  std::wstring wide = win32Path(folder.empty() ? "." : folder);
  std::wstring root(wide.size() + 2, L'\0');
  if (!GetVolumePathNameW(wide.c_str(), root.data(), static_cast<DWORD>(root.size()))) return {};
  root.resize(wcslen(root.c_str()));
  std::string volume = corePath(root);
  // A drive-letter volume is asked as "\\.\X:"; volumes mounted in folders
  // and network shares are not followed.
  if (volume.size() < 2 || volume[1] != ':') return {};
  StorageExtent e;
  if (!setDevice(e, "\\\\.\\" + volume.substr(0, 2))) return {};
  return e;
}

}  // namespace dudorazu::platform
