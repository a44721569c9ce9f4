#pragma once
// How sizes and times are written in lists, messages and the command line.
#include <cstdint>
#include <string>

namespace dudorazu {

// " GB" / " MB" / " KB" with one decimal (0.1 GiB and 0.0001 GiB bounds).
std::string formatSizeShort(uint64_t bytes);
// "B" .. "TB" without a space; empty for 0 bytes and for 1024^5 or more
// (callers write "0B" or the plain byte count there).
std::string formatSizeLong(uint64_t bytes);
// "正常文件", "已删除文件", "正常文件夹", "已删除文件夹"; empty for an unfilled record.
const char* stateText(uint8_t state);
// "%d-%02d-%02d %02d:%02d:%02d" from a DOS date and time word; empty when
// they name no moment (a record without a time has zero words).
std::string formatRecordTime(uint16_t date, uint16_t time);

}  // namespace dudorazu
