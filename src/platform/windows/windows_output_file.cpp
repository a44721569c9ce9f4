// Windows backend of output files: CreateFileW with CREATE_NEW, marked
// sparse so skipped runs of zeros stay holes, WriteFile at explicit
// offsets, the end-of-file set through the handle and SetFileTime. Output
// folders are directory handles beside their long "\\?\" path, to which
// each name made in them is appended (no path is ever parsed again).
#include <windows.h>
#include <winioctl.h>

#include <algorithm>

#include "platform/output_file.h"
#include "platform/windows/windows_handle.h"
#include "platform/windows/windows_paths.h"
#include "platform/windows/windows_time.h"

namespace dudorazu::platform {
namespace {

HANDLE handleOf(std::intptr_t native) { return reinterpret_cast<HANDLE>(native); }

// One component: anything else would reach outside the folder (the long
// path form resolves neither "." nor "..", but the target might).
bool isComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// `name` below the folder at the long path `folder` ("\\?\C:\" ends in a separator already).
std::string childPath(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

// A folder's handle for its identity and its times. Unless `followLinks`,
// a link (reparse point) is opened as itself.
HANDLE openFolderHandle(const std::wstring& path, bool followLinks) {
  return CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
}

// The folder's volume and file index; false when the handle is no folder
// (or, opened as itself, a link).
bool identifyFolder(HANDLE h, uint64_t& device, uint64_t& object) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) return false;
  if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  device = info.dwVolumeSerialNumber;
  object = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

bool FolderHandle::open(const std::string& path) {
  close();
  std::wstring wide = win32Path(path);
  HANDLE h = openFolderHandle(wide, true);  // the destination the user chose, link or not
  if (h == INVALID_HANDLE_VALUE) return false;
  native_ = reinterpret_cast<std::intptr_t>(h);
  path_ = narrow(wide);
  if (!identifyFolder(h, device_, object_)) close();
  return isOpen();
}

FolderHandle::Outcome FolderHandle::openChild(const FolderHandle& parent, const std::string& name) {
  close();
  if (!parent.isOpen() || !isComponent(name)) return Outcome::Failed;
  std::string child = childPath(parent.path_, name);
  std::wstring wide = widen(child);
  bool made = CreateDirectoryW(wide.c_str(), nullptr) != 0;
  if (!made && GetLastError() != ERROR_ALREADY_EXISTS) return Outcome::Failed;
  HANDLE h = openFolderHandle(wide, false);
  if (h == INVALID_HANDLE_VALUE) return Outcome::Failed;
  native_ = reinterpret_cast<std::intptr_t>(h);
  path_ = std::move(child);
  if (!identifyFolder(h, device_, object_)) {
    close();
    return made ? Outcome::Failed : Outcome::NameTaken;
  }
  return made ? Outcome::Made : Outcome::Opened;
}

void FolderHandle::park() {
  if (native_ != kNone) CloseHandle(handleOf(native_));
  native_ = kNone;
  path_.clear();
  path_.shrink_to_fit();  // a parked level keeps no long path
}

bool FolderHandle::reopenAbove(const FolderHandle& child) {
  if (!child.isOpen()) return false;
  park();
  size_t slash = child.path_.rfind('\\');
  if (slash == std::string::npos) return false;
  std::string above = child.path_.substr(0, slash);
  if (!above.empty() && above.back() == ':') above += '\\';  // a drive's root folder, not the volume
  // The path was walked down once already; a folder swapped for a link
  // since then shows by its identity.
  HANDLE h = openFolderHandle(widen(above), true);
  if (h == INVALID_HANDLE_VALUE) return false;
  uint64_t device = 0, object = 0;
  if (!identifyFolder(h, device, object) || device != device_ || object != object_) {
    CloseHandle(h);
    return false;
  }
  native_ = reinterpret_cast<std::intptr_t>(h);
  path_ = std::move(above);
  return true;
}

bool FolderHandle::setModifiedTime(std::time_t when) {
  FILETIME time = fileTimeFromUnix(when);
  return isOpen() && SetFileTime(handleOf(native_), nullptr, &time, &time) != 0;
}

void FolderHandle::close() {
  park();
  device_ = object_ = 0;
}

RenameOutcome renameNoReplaceIn(const FolderHandle& folder, const std::string& from, const std::string& to) {
  if (!folder.isOpen() || !isComponent(from) || !isComponent(to)) return RenameOutcome::Failed;
  return renameNoReplace(childPath(folder.systemPath(), from), childPath(folder.systemPath(), to));
}

CreateOutcome OutputHandle::createExclusive(const std::string& path) {
  close();
  HANDLE h = CreateFileW(win32Path(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    DWORD returned = 0;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);  // only where it can
    native_ = reinterpret_cast<std::intptr_t>(h);
    error_ = 0;
    return CreateOutcome::Created;
  }
  DWORD error = GetLastError();
  error_ = static_cast<int>(error);
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return CreateOutcome::NameTaken;
  // A folder of that name answers "access denied" to CREATE_NEW.
  if (error == ERROR_ACCESS_DENIED &&
      GetFileAttributesW(win32Path(path).c_str()) != INVALID_FILE_ATTRIBUTES)
    return CreateOutcome::NameTaken;
  if (error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY) return CreateOutcome::FolderMissing;
  return CreateOutcome::Refused;
}

CreateOutcome OutputHandle::createExclusiveIn(const FolderHandle& folder, const std::string& name) {
  close();
  if (!isComponent(name)) return CreateOutcome::Refused;
  if (!folder.isOpen()) return CreateOutcome::FolderMissing;
  // The long path passes through win32Path unchanged.
  return createExclusive(childPath(folder.systemPath(), name));
}

size_t OutputHandle::writeAt(uint64_t offset, const void* data, size_t length) {
  const auto* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < length) {
    OVERLAPPED at = overlappedAt(offset + done);
    DWORD want = static_cast<DWORD>(std::min<size_t>(length - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(handleOf(native_), p + done, want, &written, &at) || written == 0) {
      error_ = static_cast<int>(written == 0 && GetLastError() == 0 ? ERROR_DISK_FULL : GetLastError());
      break;
    }
    done += written;
  }
  return done;
}

bool OutputHandle::extendTo(uint64_t length) {
  LARGE_INTEGER size{};
  if (GetFileSizeEx(handleOf(native_), &size) && static_cast<uint64_t>(size.QuadPart) >= length) return true;
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
  if (SetFileInformationByHandle(handleOf(native_), FileEndOfFileInfo, &end, sizeof end)) return true;
  error_ = static_cast<int>(GetLastError());
  return false;
}

void OutputHandle::setModifiedTime(std::time_t when) {
  FILETIME time = fileTimeFromUnix(when);
  SetFileTime(handleOf(native_), nullptr, &time, &time);
}

bool OutputHandle::close() {
  if (native_ == kNone) return true;
  bool ok = CloseHandle(handleOf(native_)) != 0;
  if (!ok) error_ = static_cast<int>(GetLastError());
  native_ = kNone;
  return ok;
}

}  // namespace dudorazu::platform
