#include "core/present/display_format.h"

#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace dudorazu {
namespace {

TEST(DisplayFormat, SizeFormsChangeUnitAtTheirBoundariesAndRecordTimesDecodeDosWords) {
  // The long form: 0 bytes and 1024^5 and above have no text (callers write 0B or the count).
  const std::pair<uint64_t, const char*> longForms[] = {
      {0, ""}, {1, "1.0B"}, {1023, "1023.0B"}, {1024, "1.0KB"}, {1536, "1.5KB"}, {1048575, "1024.0KB"},
      {1048576, "1.0MB"}, {1073741824ull, "1.0GB"}, {1099511627776ull, "1.0TB"}, {1125899906842623ull, "1024.0TB"},
      {1125899906842624ull, ""}, {UINT64_MAX, ""}};
  for (const auto& [size, text] : longForms) EXPECT_EQ(formatSizeLong(size), text) << size;
  // The short form changes at a tenth and a ten-thousandth of a gibibyte.
  const std::pair<uint64_t, const char*> shortForms[] = {
      {107374182, "102.4 MB"}, {107374183, "0.1 GB"}, {107374, "104.9 KB"}, {107375, "0.1 MB"},
      {200000, "0.2 MB"},      {100000, "97.7 KB"},   {0, "0.0 KB"},        {5ull << 40, "5120.0 GB"}};
  for (const auto& [size, text] : shortForms) EXPECT_EQ(formatSizeShort(size), text) << size;
  EXPECT_EQ(formatRecordTime(0x3A21, 0x6B2D), "2009-01-01 13:25:26");
  // Words that name no moment show nothing: no time at all, month 0 or 13,
  // day 0, hour 24, minute 60, 60 seconds.
  for (const auto& [date, time] : std::vector<std::pair<uint16_t, uint16_t>>{
           {0, 0}, {0x3A01, 0}, {0x3A20, 0}, {0x3BA1, 0}, {0x3A21, 24 << 11}, {0x3A21, 60 << 5}, {0x3A21, 30}, {0xFFFF, 0xFFFF}})
    EXPECT_EQ(formatRecordTime(date, time), "") << date << " " << time;
  EXPECT_EQ(formatRecordTime(0xFF9F, 0xBF7D), "2107-12-31 23:59:58");
}

}  // namespace
}  // namespace dudorazu
