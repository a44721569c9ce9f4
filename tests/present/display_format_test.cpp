#include "core/present/display_format.h"

#include <gtest/gtest.h>

namespace dudorazu {
namespace {

TEST(DisplayFormat, LongFormUnitsChangeAtPowersOf1024) {
  EXPECT_EQ(formatSizeLong(0), "") << "0 bytes have no long form; callers write 0B or the count";
  EXPECT_EQ(formatSizeLong(1), "1.0B");
  EXPECT_EQ(formatSizeLong(1023), "1023.0B");
  EXPECT_EQ(formatSizeLong(1024), "1.0KB");
  EXPECT_EQ(formatSizeLong(1536), "1.5KB");
  EXPECT_EQ(formatSizeLong(1048575), "1024.0KB") << "still KB, rounded up by %.1f";
  EXPECT_EQ(formatSizeLong(1048576), "1.0MB");
  EXPECT_EQ(formatSizeLong(1073741824ull), "1.0GB");
  EXPECT_EQ(formatSizeLong(1099511627776ull), "1.0TB");
  EXPECT_EQ(formatSizeLong(1125899906842623ull), "1024.0TB");
  EXPECT_EQ(formatSizeLong(1125899906842624ull), "") << "1024^5 and above have no unit";
  EXPECT_EQ(formatSizeLong(UINT64_MAX), "");
}

TEST(DisplayFormat, ShortFormBoundariesAtTenthAndTenThousandthOfAGibibyte) {
  EXPECT_EQ(formatSizeShort(107374182), "102.4 MB");
  EXPECT_EQ(formatSizeShort(107374183), "0.1 GB");
  EXPECT_EQ(formatSizeShort(107374), "104.9 KB");
  EXPECT_EQ(formatSizeShort(107375), "0.1 MB");
  EXPECT_EQ(formatSizeShort(200000), "0.2 MB");
  EXPECT_EQ(formatSizeShort(100000), "97.7 KB");
  EXPECT_EQ(formatSizeShort(0), "0.0 KB");
  EXPECT_EQ(formatSizeShort(5ull << 40), "5120.0 GB");
}

TEST(DisplayFormat, RecordTimeDecodesDosWords) {
  EXPECT_EQ(formatRecordTime(0x3A21, 0x6B2D), "2009-01-01 13:25:26");
  EXPECT_EQ(formatRecordTime(0, 0), "1980-00-00 00:00:00") << "unset times still format, they are lookup keys";
  EXPECT_EQ(formatRecordTime(0xFFFF, 0xFFFF), "2107-15-31 31:63:62");
}

}  // namespace
}  // namespace dudorazu
