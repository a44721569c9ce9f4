#include "core/common/text.h"

#include <gtest/gtest.h>

namespace dudorazu {
namespace {

TEST(Utf16ToUtf8, ConvertsBmpAndSurrogatePairsAndReplacesUnpairedHalves) {
  const uint16_t units[] = {u'a', 0x4E2D, 0xD83D, 0xDE00};
  EXPECT_EQ(utf16ToUtf8(units, 4), "a\xE4\xB8\xAD\xF0\x9F\x98\x80");
  const uint16_t lead[] = {0xD83D, u'x'};
  EXPECT_EQ(utf16ToUtf8(lead, 2), "\xEF\xBF\xBDx");
  const uint16_t trail[] = {0xDE00};
  EXPECT_EQ(utf16ToUtf8(trail, 1), "\xEF\xBF\xBD");
  const uint16_t leadAtEnd[] = {u'x', 0xD800};
  EXPECT_EQ(utf16ToUtf8(leadAtEnd, 2), "x\xEF\xBF\xBD");
}

TEST(Utf16leAndSanitizeUtf8, LengthStopsAtZeroOrLimitAndBrokenBytesAreReplaced) {
  const uint8_t bytes[] = {'A', 0, 'B', 0, 0, 0, 'C', 0};
  EXPECT_EQ(utf16leLength(bytes, 4), 2u);
  EXPECT_EQ(utf16leLength(bytes, 1), 1u);
  EXPECT_EQ(utf16leToUtf8(bytes, 2), "AB");
  EXPECT_EQ(sanitizeUtf8("plain \xE4\xB8\xAD"), "plain \xE4\xB8\xAD");
  EXPECT_EQ(sanitizeUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(sanitizeUtf8("\xE4\xB8"), "\xEF\xBF\xBD\xEF\xBF\xBD");       // cut short
  EXPECT_EQ(sanitizeUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");       // overlong
  EXPECT_EQ(sanitizeUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
}

TEST(PrintableText, TerminalControlsBecomeQuestionMarksAndTextStays) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain \xE4\xB8\xAD", "plain \xE4\xB8\xAD"},
      {"\x1B]0;title\x07", "?]0;title?"},                  // C0: window title
      {"a\nb\tc\x7F", "a?b?c?"},                            // line breaks and DEL
      {"\xC2\x9B" "2J", "?2J"},                             // C1 CSI clears the screen
      {"\xC2\x80\xC2\x9F\xC2\xA0", "??\xC2\xA0"},           // C1 ends; NBSP is text
      {"x\xE2\x80\xAEgpj.exe", "x?gpj.exe"},                // right-to-left override
      {"\xE2\x80\xAA\xE2\x81\xA6\xE2\x81\xA9\xE2\x80\x8E\xE2\x80\x8F\xD8\x9C", "??????"},  // embeddings, isolates, marks
      {"\xE2\x80\x8D\xE2\x81\xAA", "\xE2\x80\x8D\xE2\x81\xAA"},  // neighbours that reorder nothing
      {"a\xFF\xC2", "a\xEF\xBF\xBD\xEF\xBF\xBD"},           // broken UTF-8, a C1 lead byte cut short
  };
  for (const auto& c : cases) EXPECT_EQ(printableText(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace dudorazu
