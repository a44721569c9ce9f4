#include "core/present/display_format.h"

#include "core/common/text.h"
#include "core/exfat/exfat_file_record.h"

namespace dudorazu {

std::string formatSizeShort(uint64_t bytes) {
  double b = static_cast<double>(bytes);
  double g = b / 1073741824.0;
  if (g >= 0.1) return format("%.1f GB", g);
  if (g > 0.0001) return format("%.1f MB", b / 1048576.0);
  return format("%.1f KB", b / 1024.0);
}

std::string formatSizeLong(uint64_t bytes) {
  static const char* const units[] = {"B", "KB", "MB", "GB", "TB"};
  if (bytes == 0) return std::string();
  double v = static_cast<double>(bytes);
  int k = 0;
  while (v >= 1.0) {
    v /= 1024.0;
    ++k;
  }
  if (k < 1 || k > 5) return std::string();
  double shown = static_cast<double>(bytes);
  for (int i = 1; i < k; ++i) shown /= 1024.0;
  return format("%.1f%s", shown, units[k - 1]);
}

std::string formatRecordTime(uint16_t date, uint16_t time) {
  // Found folders, carved files and the root carry no time: their words are
  // zero, which would read as month 0. Nor is a word that names no moment
  // (month 13, hour 25) shown as if it were one.
  const int month = (date >> 5) & 15, day = date & 31, hour = time >> 11, minute = (time >> 5) & 63,
            twoSeconds = time & 31;
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || twoSeconds > 29) return std::string();
  // Written digit by digit: a listing of a million records formats three
  // times each, and a formatted print was a quarter of the listing's time.
  // The year is 1980 to 2107, always four digits.
  std::string out = "0000-00-00 00:00:00";
  const int year = (date >> 9) + 1980;
  out[0] = static_cast<char>('0' + year / 1000);
  out[1] = static_cast<char>('0' + year / 100 % 10);
  out[2] = static_cast<char>('0' + year / 10 % 10);
  out[3] = static_cast<char>('0' + year % 10);
  const int pairs[] = {month, day, hour, minute, twoSeconds * 2};
  for (size_t i = 0; i < 5; ++i) {
    out[5 + 3 * i] = static_cast<char>('0' + pairs[i] / 10);
    out[6 + 3 * i] = static_cast<char>('0' + pairs[i] % 10);
  }
  return out;
}

const char* stateText(uint8_t state) {
  switch (state) {
    case kStateDeletedFolder: return "已删除文件夹";
    case kStateDeletedFile: return "已删除文件";
    case kStateFolder: return "正常文件夹";
    case kStateFile: return "正常文件";
    default: return "";
  }
}

}  // namespace dudorazu
