#include "platform/image_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "platform/devices.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using platform::ImageFormat;

// What a file holds is told by its bytes, whatever its name.
TEST(ImageFile, FormatsAreRecognisedBySignatureNotName) {
  const struct {
    const char* what;
    std::string head, tail;
    ImageFormat format;
  } rows[] = {
      {"EWF", std::string("EVF\x09\x0D\x0A\xFF\x00\x01", 9), "", ImageFormat::Ewf},
      {"EWF version 2", std::string("EVF2\x0D\x0A\x81\x00", 8), "", ImageFormat::Ewf},
      {"EWF signature cut short", std::string("EVF\x09\x0D\x0A\xFF", 7), "", ImageFormat::Raw},
      {"logical evidence is no disk", std::string("LVF\x09\x0D\x0A\xFF\x00", 8), "", ImageFormat::Raw},
      {"VHDX", "vhdxfile", "", ImageFormat::Vhdx},
      {"dynamic VHD", "conectix", "", ImageFormat::Vhd},
      {"fixed VHD: footer only", std::string(512, '\0'), "conectix" + std::string(504, '\0'), ImageFormat::Vhd},
      {"oldest VHD: 511-byte footer", std::string(512, '\0'), std::string(1, '\0') + "conectix" + std::string(503, '\0'),
       ImageFormat::Vhd},
      {"footer text elsewhere in the tail", std::string(512, '\0'), std::string(100, '\0') + "conectix" + std::string(404, '\0'),
       ImageFormat::Raw},
      {"sparse VMDK", "KDMV", "", ImageFormat::Vmdk},
      {"older sparse VMDK", "COWD", "", ImageFormat::Vmdk},
      {"VMDK descriptor", "# Disk DescriptorFile\ncreateType=\"monolithicFlat\"", "", ImageFormat::Vmdk},
      {"QCOW", "QFI\xFB", "", ImageFormat::Qcow},
      {"an MBR disk", std::string(510, '\0') + "\x55\xAA", std::string(512, '\0'), ImageFormat::Raw},
      {"an empty file", "", "", ImageFormat::Raw},
  };
  for (const auto& row : rows) {
    const auto* head = reinterpret_cast<const uint8_t*>(row.head.data());
    const auto* tail = reinterpret_cast<const uint8_t*>(row.tail.data());
    EXPECT_EQ(platform::recogniseImageFormat(head, row.head.size(), tail, row.tail.size()), row.format) << row.what;
  }
}

TEST(ImageFile, SplitRawPiecesFollowTheFirstUpToTheFirstGap) {
  const std::set<std::string> files = {"d.001", "d.002", "d.003", "d.005", "x.0001", "x.0002", "y.009", "y.010",
                                       "a.1",   "a.2",   "p.99",  "b.002",  "n.099",  "n.100"};
  auto exists = [&files](const std::string& name) { return files.count(name) != 0; };
  const struct {
    const char* first;
    std::vector<std::string> pieces;
  } rows[] = {
      {"d.001", {"d.001", "d.002", "d.003"}},   // d.005 lies past the gap
      {"x.0001", {"x.0001", "x.0002"}},        // four digits keep four
      {"b.002", {"b.002"}},                   // only the first piece starts a set
      {"a.1", {"a.1"}},                       // one digit numbers no piece
      {"001", {"001"}},                       // a name of digits alone
      {"d.E01", {"d.E01"}},
  };
  for (const auto& row : rows) EXPECT_EQ(platform::splitRawPieces(row.first, exists), row.pieces) << row.first;
  std::set<std::string> many;
  for (int i = 1; i <= 1200; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "m.%03d", i);
    many.insert(name);
  }
  EXPECT_EQ(platform::splitRawPieces("m.001", [&many](const std::string& n) { return many.count(n) != 0; }).size(), 999u)
      << "three digits number 999 pieces at most";
}

// Pieces of uneven sizes, an empty one among them, read as one disk: reads
// and copies across piece boundaries, short only at the end.
TEST(ImageFile, SplitRawReadsAcrossPiecesAndNeverWrites) {
  test::TempDir dir;
  std::string whole;
  for (int i = 0; i < 3000; ++i) whole.push_back(static_cast<char>(i * 7 + i / 256));
  test::writeFile(dir.file("s.001"), whole.substr(0, 1000));
  test::writeFile(dir.file("s.002"), "");
  test::writeFile(dir.file("s.003"), whole.substr(1000, 1500));
  test::writeFile(dir.file("s.004"), whole.substr(2500));
  auto device = platform::openSectorDevice(dir.file("s.001"), OpenMode::Read);
  ASSERT_TRUE(device && device->size() == 3000);
  const struct {
    uint64_t offset;
    size_t length, got;
  } reads[] = {{0, 3000, 3000}, {990, 20, 20}, {999, 1502, 1502}, {2400, 1000, 600}, {3000, 10, 0}, {5000, 1, 0}};
  for (const auto& r : reads) {
    std::string buffer(r.length, '\0');
    EXPECT_EQ(device->readZeroFilled(r.offset, buffer.data(), r.length), r.got) << "at " << r.offset;
    EXPECT_EQ(buffer.substr(0, r.got), whole.substr(std::min<uint64_t>(r.offset, whole.size()), r.got)) << "at " << r.offset;
  }
  EXPECT_FALSE(device->writeAt(0, "x", 1) || platform::openSectorDevice(dir.file("s.001"), OpenMode::ReadWrite))
      << "the first piece is not written as if it were the disk";
  EXPECT_EQ(test::readFile(dir.file("s.001")), whole.substr(0, 1000));
  EXPECT_TRUE(platform::openSectorDevice(dir.file("s.003"), OpenMode::ReadWrite)) << "a later piece is a plain file";
  // A piece that is there but no file must not end the disk quietly.
  std::filesystem::remove(dir.file("s.002"));
  std::filesystem::create_directory(dir.file("s.002"));
  EXPECT_TRUE(!platform::openSectorDevice(dir.file("s.001"), OpenMode::Read) &&
              platform::lastOpenProblem().find("s.002") != std::string::npos) << platform::lastOpenProblem();
}

// A container is never written as if it were the disk it holds; a kind this
// build has no library for is refused by name, not read raw.
TEST(ImageFile, ContainersOpenForReadingOnlyAndAKindWithoutItsLibraryIsRefusedByName) {
  test::TempDir dir;
  test::writeFile(dir.file("v.img"), "vhdxfile" + std::string(4096, '\0'));
  EXPECT_TRUE(!platform::openSectorDevice(dir.file("v.img"), OpenMode::ReadWrite) &&
              platform::lastOpenProblem().find("VHDX images are opened for reading only") != std::string::npos)
      << platform::lastOpenProblem();
  EXPECT_EQ(test::readFile(dir.file("v.img")).size(), 4104u);
  EXPECT_TRUE(platform::openSectorDevice(dir.file("v.img"), OpenMode::CreateWrite)) << "a new file is made anew";
  test::writeFile(dir.file("q.img"), std::string("QFI\xFB\0\0\0\3", 8) + std::string(4096, '\0'));
  EXPECT_FALSE(platform::openSectorDevice(dir.file("q.img"), OpenMode::Read));
#ifdef DUDORAZU_WITH_LIBQCOW
  const std::string expected = "not a readable QCOW image: ";
#else
  const std::string expected = "QCOW images are not supported in this build";
#endif
  EXPECT_NE(platform::lastOpenProblem().find(expected), std::string::npos) << platform::lastOpenProblem();
  test::writeFile(dir.file("plain.img"), std::string(4096, 'x'));
  EXPECT_TRUE(platform::openSectorDevice(dir.file("plain.img"), OpenMode::Read) && platform::lastOpenProblem().empty())
      << "a problem of an earlier open is not left behind";
}

}  // namespace
}  // namespace dudorazu
