// The JSON the command line prints: strings from a disk escaped so that the
// data stays whole and a terminal shows it as it is.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "cli/cli_support.h"

namespace dudorazu::cli {
namespace {

TEST(JsonText, StringsFromADiskAreEscapedExactlyAndAReusedWriterWritesEachObjectWhole) {
  const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
  const struct {
    std::string raw, json;
  } cases[] = {
      {"", R"("")"},
      {"plain name.txt", R"("plain name.txt")"},
      {"文件-000123.dat", "\"文件-000123.dat\""},
      {"a\"b\\c/d", R"("a\"b\\c/d")"},
      {"\n\r\t", R"("\n\r\t")"},
      {std::string("x\0y", 3), R"("x\u0000y")"},
      {"\x1b]0;X\x07\x7f", R"("\u001b]0;X\u0007\u007f")"},
      // C1 controls and the marks that reorder text are escaped; their
      // neighbours are not.
      {"\xC2\x9B\xC2\xA0", "\"\\u009b\xC2\xA0\""},
      {"\xE2\x80\xAE\xE2\x80\xAF\xE2\x81\xA6\xD8\x9C\xE2\x80\x8E", "\"\\u202e\xE2\x80\xAF\\u2066\\u061c\\u200e\""},
      {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
      // Each byte that starts no valid sequence becomes one U+FFFD: stray
      // continuations, overlong forms, surrogates, past U+10FFFF, cut short.
      {"a\xFF" "b\x80", "\"a" + bad + "b" + bad + "\""},
      {"\xC0\xAF", "\"" + bad + bad + "\""},
      {"\xED\xA0\x80", "\"" + bad + bad + bad + "\""},
      {"\xF4\x90\x80\x80", "\"" + bad + bad + bad + bad + "\""},
      {"ok\xE6\x96", "\"ok" + bad + bad + "\""},
      {"\xE6\x96\n", "\"" + bad + bad + "\\n\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(jsonEscape(c.raw), c.json) << "raw: " << c.raw;
    std::string appended = "[";
    appendJsonString(appended, c.raw);
    EXPECT_EQ(appended, "[" + c.json) << "appended: " << c.raw;
  }

  JsonWriter json;
  json.beginObject().field("n", std::numeric_limits<uint64_t>::max()).key("list").beginArray();
  json.value(std::numeric_limits<int64_t>::min()).value(0).value(true).value("s").endArray();
  // Cleared in the middle of an object: nothing of it is left over.
  json.clear();
  json.beginObject().field("a", uint32_t{7}).field("recoverabilityStates", std::string("x")).endObject();
  EXPECT_EQ(json.text(), R"({"a":7,"recoverabilityStates":"x"})");
  json.clear();
  json.beginObject().field("n", std::numeric_limits<uint64_t>::max()).key("list").beginArray();
  json.value(std::numeric_limits<int64_t>::min()).value(-1).value(false).endArray().endObject();
  EXPECT_EQ(json.text(), R"({"n":18446744073709551615,"list":[-9223372036854775808,-1,false]})");
}

}  // namespace
}  // namespace dudorazu::cli
