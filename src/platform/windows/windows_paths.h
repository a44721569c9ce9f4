#pragma once
// Paths between the core and Win32: the core speaks UTF-8 with "/" or "\"
// between components; every Win32 call gets UTF-16, absolute, with the
// "\\?\" prefix that lifts the 260-character limit, so deep recovered trees
// save. Device paths ("\\.\PhysicalDrive0", "\\.\E:") pass unchanged.
#include <cstdint>
#include <string>

namespace dudorazu::platform {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);

// An absolute Windows path ("C:\a\b", "\\server\share\a") in the form that
// takes long names: "\\?\C:\a\b", "\\?\UNC\server\share\a"; "/" turned
// into "\", "." and ".." components resolved (the prefix stops Windows
// from doing it). Device and already-prefixed paths are returned as given.
std::wstring extendedPath(const std::wstring& absolute);

// What a Win32 call is given for the core's `path`: made absolute against
// the current folder, then extendedPath.
std::wstring win32Path(const std::string& path);

// The core's view of a path Windows returned: without "\\?\" (or with
// "\\?\UNC\" back to "\\"), UTF-8.
std::string corePath(const std::wstring& path);

// The errno value the core expects for a Win32 error code.
int errnoFromWin32(unsigned long error);

// "\\.\PhysicalDriveN" for N, and N for such a path (-1 when it is none).
std::string physicalDrivePath(int number);
int physicalDriveNumber(const std::string& path);

}  // namespace dudorazu::platform
