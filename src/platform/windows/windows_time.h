#pragma once
// time_t (seconds since 1970) as a FILETIME (100 ns ticks since 1601).
#include <windows.h>

#include <ctime>

namespace dudorazu::platform {

inline FILETIME fileTimeFromUnix(std::time_t when) {
  constexpr long long kTicksPerSecond = 10000000;
  constexpr long long kSecondsFrom1601To1970 = 11644473600;
  long long seconds = static_cast<long long>(when) + kSecondsFrom1601To1970;
  unsigned long long ticks = seconds < 0 ? 0 : static_cast<unsigned long long>(seconds) * kTicksPerSecond;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

}  // namespace dudorazu::platform
