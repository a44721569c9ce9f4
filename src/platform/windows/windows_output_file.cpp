// Windows backend of output files: CreateFileW with CREATE_NEW, marked
// sparse so skipped runs of zeros stay holes, WriteFile at explicit
// offsets, the end-of-file set through the handle and SetFileTime.
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

}  // namespace

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
