#pragma once
// Saved files and folders keep the dates the volume gave them.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace dudorazu {

// The moment an exFAT date and time word name, read as local time; none for
// words that name no real moment (day 0, month 13, hour 25, ...).
std::optional<std::time_t> recordLocalTime(uint16_t date, uint16_t time);

// Sets the modification and access time of `path` to that moment. False
// when the words name no moment or the target refuses.
bool setModifiedTime(const std::string& path, uint16_t date, uint16_t time);

}  // namespace dudorazu
