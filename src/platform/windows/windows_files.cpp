// Windows backend of the path questions and changes: GetFileAttributesW,
// GetFinalPathNameByHandleW, GetDiskFreeSpaceExW, CreateDirectoryW,
// MoveFileExW and SetFileTime, all on long UTF-16 paths.
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "platform/windows/windows_handle.h"
#include "platform/windows/windows_paths.h"
#include "platform/windows/windows_time.h"

namespace dudorazu::platform {
namespace {

bool isVolumePath(const std::string& path) {
  // "\\.\E:"
  return path.size() == 6 && path.rfind("\\\\.\\", 0) == 0 && path[5] == ':';
}

std::string win32ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(error);
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
    message.pop_back();
  return narrow(message);
}

// Where `path` is stored: the parent for folders missing on the way.
std::string parentOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos || slash == 0) return {};
  return path.substr(0, slash);
}

}  // namespace

PathKind pathKind(const std::string& path) {
  if (physicalDriveNumber(path) >= 0 || isVolumePath(path))
    return openForQuery(widen(path)).valid() ? PathKind::BlockDevice : PathKind::Missing;
  DWORD attributes = GetFileAttributesW(win32Path(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
  return PathKind::RegularFile;
}

std::string canonicalPath(const std::string& path) {
  if (physicalDriveNumber(path) >= 0 || isVolumePath(path)) return path;
  UniqueHandle h(CreateFileW(win32Path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid()) return {};
  std::wstring out(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h.get(), out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
  if (n >= out.size()) {
    out.resize(n + 1);
    n = GetFinalPathNameByHandleW(h.get(), out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
  }
  if (n == 0 || n >= out.size()) return {};
  out.resize(n);
  return corePath(out);
}

bool freeBytesAvailable(const std::string& path, uint64_t& freeBytes) {
  // The folder itself, or the nearest one that exists.
  std::string folder = path;
  while (!folder.empty() && pathKind(folder) == PathKind::Missing) folder = parentOf(folder);
  if (folder.empty()) folder.assign(1, '.');
  std::wstring wide = win32Path(folder);
  if (!wide.empty() && wide.back() != L'\\') wide += L'\\';
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(wide.c_str(), &available, nullptr, nullptr)) return false;
  freeBytes = available.QuadPart;
  return true;
}

bool makeFolder(const std::string& path) { return CreateDirectoryW(win32Path(path).c_str(), nullptr) != 0; }

std::string folderProblem(const std::string& folder, bool create) {
  if (folder.empty()) return "no folder given";
  PathKind kind = pathKind(folder);
  if (kind != PathKind::Folder && kind != PathKind::Missing) return "it is not a folder";
  if (kind == PathKind::Missing) {
    if (!create) return "";  // nothing is made in it
    // Each missing folder from the top down; "\\?\C:\" itself always exists.
    std::wstring wide = win32Path(folder);
    size_t start = wide.rfind(L"\\\\?\\UNC\\", 0) == 0 ? wide.find(L'\\', wide.find(L'\\', 8) + 1) : 7;
    for (size_t slash = wide.find(L'\\', start);; slash = wide.find(L'\\', slash + 1)) {
      std::wstring prefix = wide.substr(0, slash);
      if (!CreateDirectoryW(prefix.c_str(), nullptr)) {
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) return win32ErrorText(error);
      }
      if (slash == std::wstring::npos) break;
    }
    if (pathKind(folder) != PathKind::Folder) return "it cannot be made";
  }
  // Whether files can be made there: a probe that deletes itself on close.
  std::wstring probe = win32Path(folder) + L"\\.dudorazu-probe-" + std::to_wstring(GetCurrentProcessId());
  UniqueHandle h(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!h.valid()) {
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS) return win32ErrorText(error);
  }
  return "";
}

RenameOutcome renameNoReplace(const std::string& from, const std::string& to) {
  if (MoveFileExW(win32Path(from).c_str(), win32Path(to).c_str(), 0)) return RenameOutcome::Renamed;
  DWORD error = GetLastError();
  return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? RenameOutcome::NameTaken
                                                                      : RenameOutcome::Failed;
}

bool replaceFile(const std::string& from, const std::string& to) {
  return MoveFileExW(win32Path(from).c_str(), win32Path(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool setFileTimes(const std::string& path, std::time_t when) {
  UniqueHandle h(CreateFileW(win32Path(path).c_str(), FILE_WRITE_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!h.valid()) return false;
  FILETIME time = fileTimeFromUnix(when);
  return SetFileTime(h.get(), nullptr, &time, &time) != 0;
}

// The device names Windows keeps in every folder, with or without an
// extension and with trailing spaces before it: CON, PRN, AUX, NUL, COM0-9
// and LPT0-9 (also with a superscript digit), in any case.
// The zone is read once by the C runtime already.
void settleLocalTimeZone() {}

bool reservedFileName(const std::string& component) {
  std::string stem = component.substr(0, component.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  for (const char* name : {"CON", "PRN", "AUX", "NUL"})
    if (stem == name) return true;
  if (stem.size() < 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0)) return false;
  const std::string digit = stem.substr(3);
  return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" || digit == "\xC2\xB2" ||
         digit == "\xC2\xB3";
}

}  // namespace dudorazu::platform
