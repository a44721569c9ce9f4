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
// "%d-%02d-%02d %02d:%02d:%02d" from a DOS date and time word.
std::string formatRecordTime(uint16_t date, uint16_t time);
// The state column of a file list: "已删除文件夹", "已删除文件", "正常文件夹",
// "正常文件"; empty for any other state.
const char* recordStateText(uint8_t state);

}  // namespace dudorazu
