// Output files, their names and times.
#include "core/recovery/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/recovery/file_times.h"
#include "core/recovery/name_repair.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

std::string created(const std::string& path, SaveNamespace* names = nullptr) {
  OutputFile f;
  if (!openOutputFile(f, path, names)) return "<failed>";
  f.write("x", 1);
  f.close();
  return f.path();
}

TEST(OutputFile, TheCounterGoesAfterTheWholeNameMissingFoldersAreMadeAndHolesAtTheEndKeepLengthAndTime) {
  TempDir dir;
  writeFile(dir.file("a.txt"), "keep");
  writeFile(dir.file("a.txt0.txt"), "keep too");
  EXPECT_EQ(created(dir.file("a.txt")), dir.file("a.txt1.txt"));
  EXPECT_EQ(readFile(dir.file("a.txt0.txt")), "keep too") << "an existing file is never overwritten";
  writeFile(dir.file("b.partial"), "keep");
  writeFile(dir.file("b"), "cut short");
  EXPECT_EQ(renameAside(dir.file("b"), ".partial"), dir.file("b.partial1"));
  EXPECT_EQ(readFile(dir.file("b.partial")), "keep") << "a rename aside never replaces a file either";
  // A dot in a folder name is not the extension.
  ASSERT_TRUE(createFolderPath(dir.file("photos.2019")));
  writeFile(dir.file("photos.2019/README"), "");
  EXPECT_EQ(created(dir.file("photos.2019/README")), dir.file("photos.2019/README0"));
  // Missing folders are made and noted.
  SaveNamespace names;
  EXPECT_EQ(created(dir.file("a/b/c.txt"), &names), dir.file("a/b/c.txt"));
  EXPECT_TRUE(names.madeFolder(dir.file("a")) && names.madeFolder(dir.file("a/b")));
  EXPECT_FALSE(names.madeFolder(dir.path())) << "the destination existed already";
  writeFile(dir.file("plain"), "");
  EXPECT_FALSE(createFolderPath(dir.file("plain/x"))) << "a file stands where a folder should be";
  EXPECT_EQ(created(dir.file("plain/x/y.txt")), "<failed>");

  // Holes at the end keep length and time; record times naming no moment are not set.
  OutputFile f;
  ASSERT_TRUE(openOutputFile(f, dir.file("sparse")));
  f.write("ab", 2);
  f.skip(1 << 20);
  f.setModifiedTime(1234567890);
  ASSERT_TRUE(f.close());
  EXPECT_TRUE(readFile(dir.file("sparse")) == "ab" + std::string(1 << 20, '\0'));
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("sparse").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1234567890) << "setting the length must not take the time away";
  EXPECT_FALSE(recordLocalTime(0, 0) || recordLocalTime((29 << 9) | (2 << 5) | 31, 0));
  EXPECT_FALSE(setModifiedTime(dir.file("sparse"), 0, 0));
  ASSERT_EQ(::stat(dir.file("sparse").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1234567890);
}

std::string repaired(std::string name, NameOptions options = saveNameOptions()) {
  sanitizeName(name, options);
  return name;
}

TEST(NameRepair, ReservedCharactersEscapesInvalidUtf8AndOverlongNamesAreMended) {
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
      {"a\xff" "b", "a\xEF\xBF\xBD" "b", saveNameOptions()},
      {"a/b", "a$b", off},      // a separator never survives, even with repair off
      {"..", "$$", slash},      // a replacement that is itself a separator is not used
  };
  for (const Row& r : rows) EXPECT_EQ(repaired(r.in, r.options), r.out) << r.in;
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
