#include "platform/devices.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/common/progress_block.h"
#include "core/common/text.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

TEST(SectorDevice, ReadsByLbaZeroFilledPastTheEndIn64BitsAndReadModeNeverWrites) {
  test::TempDir dir;
  std::string bytes(1536, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i / 512 + 1);
  test::writeFile(dir.file("img"), bytes);
  auto small = platform::openSectorDevice(dir.file("img"), OpenMode::Read);
  ASSERT_TRUE(small && small->size() == 1536);
  uint8_t two[1024];
  EXPECT_EQ(small->readSectors(1, 2, two), 1024u);
  EXPECT_EQ(two[0] * 10 + two[1023], 23);
  // The second sector lies past the end: it must read as zeros, not stale data.
  EXPECT_EQ(small->readSectors(2, 2, two), 512u);
  EXPECT_EQ(two[0] * 10 + two[512], 30);
  EXPECT_EQ(small->readSectors(100, 1, two), 0u);
  EXPECT_EQ(two[0], 0);

  std::string path = dir.file("sparse");
  test::writeAt(path, (5ull << 30) - 1, std::string(1, '\0'));
  {
    auto rw = platform::openSectorDevice(path, OpenMode::ReadWrite);
    ASSERT_TRUE(rw);
    std::string sector(512, 'Z');
    EXPECT_EQ(rw->writeAt(8388608ull * 512, sector.data(), 512), 512u);
  }
  auto dev = platform::openSectorDevice(path, OpenMode::Read);
  uint8_t buf[512];
  dev->readSectors(8388608ull, 1, buf);
  EXPECT_EQ(buf[0], 'Z');
  EXPECT_EQ(dev->writeAt(0, "b", 1), 0u) << "a device opened for reading never writes";
  dev->readSectors(0, 1, buf);
  EXPECT_EQ(buf[0], 0) << "LBA 8388608 must not wrap to offset 0, and a reading device wrote nothing there";
  EXPECT_FALSE(platform::openSectorDevice(dir.path(), OpenMode::Read)) << "a folder is no disk";
}

TEST(ProgressBlock, StepsAndPositionsStayWithinTheRange) {
  ProgressBlock block;
  block.setRange(10, 1);
  for (int i = 0; i < 11; ++i) block.stepIt();
  EXPECT_EQ(block.position(), 10u);
  block.setPosition(50);
  EXPECT_EQ(block.position(), 10u) << "a position past the range";
  block.setRange(100, 30);
  for (int i = 0; i < 4; ++i) block.stepIt();
  EXPECT_EQ(block.position(), 100u);
}

TEST(Utf16AndUtf8, SurrogatePairsConvertLengthsStopAtZeroOrLimitAndBrokenHalvesOrBytesAreReplaced) {
  // A pair, a lead alone, a trail alone, a lead at the end.
  const std::pair<std::vector<uint16_t>, std::string> conversions[] = {
      {{u'a', 0x4E2D, 0xD83D, 0xDE00}, "a\xE4\xB8\xAD\xF0\x9F\x98\x80"}, {{0xD83D, u'x'}, "\xEF\xBF\xBDx"},
      {{0xDE00}, "\xEF\xBF\xBD"}, {{u'x', 0xD800}, "x\xEF\xBF\xBD"}};
  for (const auto& [units, utf8] : conversions) EXPECT_EQ(utf16ToUtf8(units.data(), units.size()), utf8);
  // A name is made at its exact size: a tree of a million keeps no slack.
  const uint16_t mixed[] = {0x6587, 0x4EF6, u'-', 0xD83D, 0xDE00, 0xDC00, 0xE9, u'.', 0xD800, u'd', u'a', u't'};
  const std::string name = utf16ToUtf8(mixed, 12);
  EXPECT_EQ(name, "\xE6\x96\x87\xE4\xBB\xB6-\xF0\x9F\x98\x80\xEF\xBF\xBD\xC3\xA9.\xEF\xBF\xBD" "dat");
  EXPECT_EQ(name.capacity(), name.size());
  const uint8_t bytes[] = {'A', 0, 'B', 0, 0, 0, 'C', 0};
  EXPECT_EQ(std::pair(utf16leLength(bytes, 4), utf16leLength(bytes, 1)), std::pair(size_t{2}, size_t{1}));
  EXPECT_EQ(utf16leToUtf8(bytes, 2), "AB");
  // Kept, a bad byte, cut short, overlong, a surrogate.
  const std::pair<const char*, const char*> sanitized[] = {
      {"plain \xE4\xB8\xAD", "plain \xE4\xB8\xAD"}, {"a\xFF" "b", "a\xEF\xBF\xBD" "b"}, {"\xE4\xB8", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"}, {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}};
  for (const auto& [in, out] : sanitized) EXPECT_EQ(sanitizeUtf8(in), out) << in;
}

// Every number typed or read back as decimal text goes through this one
// reader: digits only, bounded, never wrapped.
TEST(ParseDecimal, DigitsOnlyUpToTheBound) {
  const struct {
    const char* text;
    uint64_t max;
    bool read;
    uint64_t value;
  } cases[] = {
      {"0", UINT64_MAX, true, 0},
      {"007", UINT64_MAX, true, 7},
      {"18446744073709551615", UINT64_MAX, true, UINT64_MAX},
      {"18446744073709551616", UINT64_MAX, false, 0},  // one past: not wrapped to 0
      {"99999999999999999999", UINT64_MAX, false, 0},
      {"9223372036854775807", INT64_MAX, true, INT64_MAX},
      {"9223372036854775808", INT64_MAX, false, 0},
      {"7", 5, false, 0},  // a digit past a small bound
      {"5", 5, true, 5},
      {"", UINT64_MAX, false, 0},
      {"-1", UINT64_MAX, false, 0},
      {"+1", UINT64_MAX, false, 0},
      {" 1", UINT64_MAX, false, 0},
      {"1 ", UINT64_MAX, false, 0},
      {"0x10", UINT64_MAX, false, 0},
      {"1.5", UINT64_MAX, false, 0},
  };
  for (const auto& c : cases) {
    uint64_t value = 12345;
    EXPECT_EQ(parseDecimal(c.text, value, c.max), c.read) << "'" << c.text << "'";
    EXPECT_EQ(value, c.read ? c.value : 12345u) << "'" << c.text << "': a refused text leaves the value alone";
  }
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
