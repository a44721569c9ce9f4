#include "core/common/text.h"

#include <gtest/gtest.h>

namespace dudorazu {
namespace {

TEST(Utf16ToUtf8, ConvertsBmpAndSurrogatePairs) {
  const uint16_t units[] = {u'a', 0x4E2D, 0xD83D, 0xDE00};
  EXPECT_EQ(utf16ToUtf8(units, 4), "a\xE4\xB8\xAD\xF0\x9F\x98\x80");
}

TEST(Utf16ToUtf8, UnpairedSurrogatesBecomeReplacementCharacters) {
  const uint16_t lead[] = {0xD83D, u'x'};
  EXPECT_EQ(utf16ToUtf8(lead, 2), "\xEF\xBF\xBDx");
  const uint16_t trail[] = {0xDE00};
  EXPECT_EQ(utf16ToUtf8(trail, 1), "\xEF\xBF\xBD");
  const uint16_t leadAtEnd[] = {u'x', 0xD800};
  EXPECT_EQ(utf16ToUtf8(leadAtEnd, 2), "x\xEF\xBF\xBD");
}

TEST(Utf16le, LengthStopsAtZeroOrLimit) {
  const uint8_t bytes[] = {'A', 0, 'B', 0, 0, 0, 'C', 0};
  EXPECT_EQ(utf16leLength(bytes, 4), 2u);
  EXPECT_EQ(utf16leLength(bytes, 1), 1u);
  EXPECT_EQ(utf16leToUtf8(bytes, 2), "AB");
}

TEST(SanitizeUtf8, KeepsValidTextAndReplacesBrokenBytes) {
  EXPECT_EQ(sanitizeUtf8("plain \xE4\xB8\xAD"), "plain \xE4\xB8\xAD");
  EXPECT_EQ(sanitizeUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(sanitizeUtf8("\xE4\xB8"), "\xEF\xBF\xBD\xEF\xBF\xBD");       // cut short
  EXPECT_EQ(sanitizeUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");       // overlong
  EXPECT_EQ(sanitizeUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
}

}  // namespace
}  // namespace dudorazu
