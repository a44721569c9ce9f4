#include "core/recovery/name_repair.h"

#include <gtest/gtest.h>

namespace dudorazu {
namespace {

std::string repaired(std::string name, NameOptions options = saveNameOptions()) {
  sanitizeName(name, options);
  return name;
}

TEST(NameRepair, NineCharactersBecomeTheReplacement) {
  EXPECT_EQ(repaired("a:b?.txt"), "a$b$.txt");
  EXPECT_EQ(repaired("x<y>.doc"), "x$y$.doc");
  EXPECT_EQ(repaired("?/:*\\\"<>|"), "$$$$$$$$$");
  EXPECT_EQ(repaired("a?b", NameOptions{1, "_"}), "a_b");
  EXPECT_EQ(repaired("照片 2019.jpg"), "照片 2019.jpg") << "ordinary names stay as they are";
}

TEST(NameRepair, NamesThatWouldLeaveTheirFolderAreMended) {
  EXPECT_EQ(repaired("."), "$");
  EXPECT_EQ(repaired(".."), "$$");
  EXPECT_EQ(repaired("..."), "...") << "three dots are an ordinary name";
  EXPECT_EQ(repaired("../../etc/passwd"), "..$..$etc$passwd");
  EXPECT_EQ(repaired("a\nb\x01" "c\x7f"), "a$b$c$");
  // Even with repair switched off a separator never survives.
  EXPECT_EQ(repaired("a/b", NameOptions{0, "$"}), "a$b");
  EXPECT_EQ(repaired("..", NameOptions{1, "/"}), "$$") << "a replacement that is itself a separator is not used";
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

TEST(NameRepair, EmptyNameIsNamedAfterItsFirstCluster) {
  ExfatFileRecord r;
  r.firstCluster = 1234;
  EXPECT_EQ(outputNameFor(r, saveNameOptions()), "1234");
  r.name = "a|b";
  EXPECT_EQ(outputNameFor(r, saveNameOptions()), "a$b");
}

}  // namespace
}  // namespace dudorazu
