#include "core/recovery/name_repair.h"

#include <gtest/gtest.h>

namespace dudorazu {
namespace {

std::string repaired(std::string name, NameOptions options = saveNameOptions()) {
  sanitizeName(name, options);
  return name;
}

TEST(NameRepair, ReservedCharactersAndEscapingNamesAreMended) {
  const NameOptions off{0, "$"}, underscore{1, "_"}, slash{1, "/"};
  struct Row {
    const char* in;
    const char* out;
    NameOptions options;
  } rows[] = {
      {"a:b?.txt", "a$b$.txt", saveNameOptions()},
      {"?/:*\\\"<>|", "$$$$$$$$$", saveNameOptions()},
      {"a?b", "a_b", underscore},
      {"照片 2019.jpg", "照片 2019.jpg", saveNameOptions()},
      {".", "$", saveNameOptions()},
      {"..", "$$", saveNameOptions()},
      {"...", "...", saveNameOptions()},
      {"../../etc/passwd", "..$..$etc$passwd", saveNameOptions()},
      {"a\nb\x01" "c\x7f", "a$b$c$", saveNameOptions()},
      {"a/b", "a$b", off},      // a separator never survives, even with repair off
      {"..", "$$", slash},      // a replacement that is itself a separator is not used
  };
  for (const Row& r : rows) EXPECT_EQ(repaired(r.in, r.options), r.out) << r.in;
}

TEST(NameRepair, InvalidUtf8AndOverlongNames) {
  EXPECT_EQ(repaired("a\xff" "b"), "a\xEF\xBF\xBD" "b");
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += "文";  // 600 bytes
  longName += ".jpg";
  std::string cut = repaired(longName);
  EXPECT_LE(cut.size(), kMaxNameBytes);
  EXPECT_EQ(cut.substr(cut.size() - 4), ".jpg") << "the extension survives the cut";
  EXPECT_EQ((cut.size() - 4) % 3, 0u) << "cut at a character boundary";
}

}  // namespace
}  // namespace dudorazu
