#include "core/recovery/file_times.h"

#include "platform/files.h"

namespace dudorazu {

std::optional<std::time_t> recordLocalTime(uint16_t date, uint16_t time) {
  int year = (date >> 9) + 1980;
  int month = (date >> 5) & 15;
  int day = date & 31;
  int hour = time >> 11;
  int minute = (time >> 5) & 63;
  int second = (time & 31) * 2;
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  // mktime rolls 31 February over into March; such a word names no moment.
  if (t == static_cast<std::time_t>(-1) || tm.tm_mday != day || tm.tm_mon != month - 1) return std::nullopt;
  return t;
}

bool setModifiedTime(const std::string& path, uint16_t date, uint16_t time) {
  std::optional<std::time_t> t = recordLocalTime(date, time);
  return t && platform::setFileTimes(path, *t);
}

}  // namespace dudorazu
