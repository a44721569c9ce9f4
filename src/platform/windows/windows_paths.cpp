// UTF-8/UTF-16 conversion and the long-path form of Win32 paths.
#include "platform/windows/windows_paths.h"

#include <windows.h>

#include <cerrno>
#include <cwctype>
#include <vector>

namespace dudorazu::platform {
namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool startsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string narrow(const std::wstring& utf16) {
  if (utf16.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring extendedPath(const std::wstring& absolute) {
  if (startsWith(absolute, L"\\\\?\\") || startsWith(absolute, L"\\\\.\\") || startsWith(absolute, L"//./"))
    return absolute;
  std::wstring root;
  size_t rest;
  if (absolute.size() >= 2 && absolute[1] == L':' && std::iswalpha(absolute[0])) {
    root = L"\\\\?\\" + absolute.substr(0, 2);
    rest = 2;
  } else if (absolute.size() >= 2 && isSeparator(absolute[0]) && isSeparator(absolute[1])) {
    root = L"\\\\?\\UNC";
    rest = 2;
  } else {
    return absolute;  // not absolute: left for Windows to resolve
  }
  // Components, with "." dropped and ".." taking back the one before; a UNC
  // path keeps its server and share.
  std::vector<std::wstring> parts;
  const size_t keep = root == L"\\\\?\\UNC" ? 2 : 0;
  for (size_t i = rest; i <= absolute.size();) {
    size_t end = i;
    while (end < absolute.size() && !isSeparator(absolute[end])) ++end;
    std::wstring part = absolute.substr(i, end - i);
    if (part == L"..") {
      if (parts.size() > keep) parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  std::wstring out = root;
  for (const std::wstring& part : parts) out += L"\\" + part;
  if (parts.empty()) out += L"\\";
  return out;
}

std::wstring win32Path(const std::string& path) {
  std::wstring wide = widen(path);
  if (startsWith(wide, L"\\\\?\\") || startsWith(wide, L"\\\\.\\") || startsWith(wide, L"//./")) return wide;
  DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  full.resize(n);
  return extendedPath(full);
}

std::string corePath(const std::wstring& path) {
  if (startsWith(path, L"\\\\?\\UNC\\")) return narrow(L"\\\\" + path.substr(8));
  if (startsWith(path, L"\\\\?\\")) return narrow(path.substr(4));
  return narrow(path);
}

int errnoFromWin32(unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_PRIVILEGE_NOT_HELD:
      return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_NOT_READY:
    case ERROR_DEVICE_NOT_CONNECTED:
      return ENXIO;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_INVALID_NAME: return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return EOPNOTSUPP;
    default: return EIO;
  }
}

std::string physicalDrivePath(int number) { return "\\\\.\\PhysicalDrive" + std::to_string(number); }

int physicalDriveNumber(const std::string& path) {
  static const std::string kPrefix = "\\\\.\\PhysicalDrive";
  if (path.size() <= kPrefix.size() || path.size() > kPrefix.size() + 3) return -1;
  for (size_t i = 0; i < kPrefix.size(); ++i)
    if (std::towlower(static_cast<unsigned char>(path[i])) != std::towlower(static_cast<unsigned char>(kPrefix[i])))
      return -1;
  int n = 0;
  for (size_t i = kPrefix.size(); i < path.size(); ++i) {
    if (path[i] < '0' || path[i] > '9') return -1;
    n = n * 10 + (path[i] - '0');
  }
  return n;
}

}  // namespace dudorazu::platform
