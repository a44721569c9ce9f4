// The Windows file backend on the real (Wine's) file system: deep trees
// past the old 260-character limit, exclusive creation, 64-bit offsets and
// path identity whatever the spelling.
#include <gtest/gtest.h>

#include "core/recovery/name_repair.h"
#include "platform/platform.h"
#include "platform/windows/windows_sector_device.h"
#include "support/temp_dir.h"

namespace dudorazu::platform {
namespace {

TEST(WindowsFiles, DeepTreesSaveAndFilesAreMadeOnlyOnce) {
  test::TempDir dir;
  std::string deep = dir.path();
  for (int i = 0; i < 20; ++i) deep += "/folder-of-a-deep-recovered-tree-" + std::to_string(i);
  ASSERT_GT(deep.size(), 600u);
  EXPECT_EQ(folderProblem(deep, true), "");
  EXPECT_EQ(pathKind(deep), PathKind::Folder);
  const std::string file = deep + "/文件.bin";

  OutputHandle out;
  ASSERT_EQ(out.createExclusive(file), CreateOutcome::Created);
  const uint64_t far = (5ull << 30) + 7;  // past 4 GiB: a 32-bit offset would wrap
  EXPECT_EQ(out.writeAt(far, "abc", 3), 3u);
  EXPECT_TRUE(out.extendTo(far + 10));
  out.setModifiedTime(1262304000);
  EXPECT_TRUE(out.close());

  OutputHandle again;
  EXPECT_EQ(again.createExclusive(file), CreateOutcome::NameTaken);
  EXPECT_EQ(again.createExclusive(deep), CreateOutcome::NameTaken) << "a folder of that name";
  EXPECT_EQ(again.createExclusive(deep + "/missing/x"), CreateOutcome::FolderMissing);

  EXPECT_EQ(pathKind(file), PathKind::RegularFile);
  EXPECT_EQ(storageExtent(file).length, far + 10);
  auto device = openSectorDevice(file, OpenMode::Read);
  ASSERT_TRUE(device);
  char back[3] = {};
  EXPECT_EQ(device->readAt(far, back, 3), 3u);
  EXPECT_EQ(std::string(back, 3), "abc");
  EXPECT_EQ(device->size(), far + 10);
  device.reset();  // Windows renames no file that is open without delete sharing
  EXPECT_TRUE(setFileTimes(file, 1262304000));
  uint64_t free = 0;
  EXPECT_TRUE(freeBytesAvailable(deep + "/not-yet", free));
  EXPECT_GT(free, 0u);

  EXPECT_EQ(renameNoReplace(file, deep + "/other"), RenameOutcome::Renamed);
  EXPECT_TRUE(makeFolder(deep + "/sub"));
  EXPECT_EQ(renameNoReplace(deep + "/other", deep + "/sub"), RenameOutcome::NameTaken);
  EXPECT_TRUE(replaceFile(deep + "/other", deep + "/sub/last"));
}

TEST(WindowsFiles, OnePathSpelledManyWaysIsOneFile) {
  test::TempDir dir;
  test::writeFile(dir.file("a.img"), "x");
  ASSERT_TRUE(makeFolder(dir.file("sub")));
  const std::string spellings[] = {dir.file("sub/../a.img"), dir.path() + "\\a.img", dir.file("./A.IMG")};
  StorageExtent a = storageExtent(dir.file("a.img"));
  EXPECT_EQ(a.kind, PathKind::RegularFile);
  for (const std::string& other : spellings) {
    StorageExtent b = storageExtent(other);
    EXPECT_EQ(b.holderDevice, a.holderDevice) << other;
    EXPECT_EQ(b.holderInode, a.holderInode) << other;
  }
  // Two missing outputs naming one entry of one folder, in any case.
  StorageExtent m1 = storageExtent(dir.file("new.img")), m2 = storageExtent(dir.file("NEW.img"));
  EXPECT_EQ(m1.kind, PathKind::Missing);
  EXPECT_EQ(m1.missingName, m2.missingName);
  EXPECT_EQ(m1.holderInode, m2.holderInode);
}

TEST(WindowsFiles, RepairedNamesOfEveryForbiddenCharacterCanBeCreatedAndDeviceNamesAreAvoided) {
  test::TempDir dir;
  std::string name = "a?b:c*d\\e\"f<g>h|i/j";
  sanitizeName(name, saveNameOptions());
  EXPECT_EQ(name.find_first_of("?:*\\\"<>|/"), std::string::npos) << name;
  OutputHandle out;
  EXPECT_EQ(out.createExclusive(dir.file(name)), CreateOutcome::Created) << name;
  // Device names are kept from the saved files; near misses keep their names.
  for (auto [given, saved] : {std::pair{"con", "con$"}, {"NUL.txt", "NUL$.txt"}, {"Com1.tar.gz", "Com1$.tar.gz"},
                              {"lpt9 .x", "lpt9 $.x"}, {"CONSOLE", "CONSOLE"}, {"com10", "com10"}, {"aux_", "aux_"}}) {
    std::string repaired = given;
    sanitizeName(repaired, saveNameOptions());
    EXPECT_EQ(repaired, saved);
  }
}

// A drive takes whole sectors only; unaligned reads and writes go through
// the sectors around them and stop at the drive's end.
TEST(WindowsFiles, DrivesAreReadAndWrittenInWholeSectors) {
  test::TempDir dir;
  std::string bytes(8 * 4096 + 512, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
  test::writeFile(dir.file("drive"), bytes);
  for (uint32_t sector : {512u, 4096u}) {
    auto drive = openFileAsDrive(dir.file("drive"), sector);
    ASSERT_TRUE(drive);
    struct Case {
      uint64_t offset;
      size_t length;
      size_t got;
    } cases[] = {{0, 512, 512}, {1, 10, 10}, {4095, 2, 2}, {100, 3 * 4096, 3 * 4096}, {bytes.size() - 3, 10, 3},
                 {bytes.size(), 1, 0}, {bytes.size() + 4096, 1, 0}};
    for (const Case& c : cases) {
      std::string got(c.length, 'x');
      EXPECT_EQ(drive->readAt(c.offset, got.data(), c.length), c.got) << sector << " @" << c.offset;
      EXPECT_EQ(got.substr(0, c.got), c.got ? bytes.substr(c.offset, c.got) : "") << sector << " @" << c.offset;
    }
    EXPECT_EQ(drive->writeAt(4097, "hello", 5), 5u);
    bytes.replace(4097, 5, "hello");
  }
  EXPECT_EQ(test::readFile(dir.file("drive")), bytes) << "only the five bytes changed, twice";
}

}  // namespace
}  // namespace dudorazu::platform
