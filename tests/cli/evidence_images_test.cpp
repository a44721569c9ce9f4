// Evidence files and virtual disks made from the sample image by their
// formats' own tools, listed and recovered as the raw image is.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

// Flips the byte after the first occurrence of `needle` in any of `files`.
bool spoilAfter(const std::vector<std::string>& files, const std::string& needle) {
  for (const std::string& f : files) {
    const size_t at = test::readFile(f).find(needle);
    if (at == std::string::npos) continue;
    test::writeAt(f, at + needle.size(), "Z");
    return true;
  }
  return false;
}

std::vector<std::string> segments(const std::string& dir, const std::string& stem) {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().starts_with(stem + ".")) out.push_back(entry.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(EvidenceImages, EachFormatListsAndRecoversAsTheRawImage) {
  const std::string sample = test::fixtureImage("sample-disk.img");
  for (const char* tool : {"ewfacquire", "qemu-img", "split"})
    DUDORAZU_SKIP_UNLESS(test::haveTool(tool), std::string(tool) + " is not installed");
  test::TempDir dir;
  const std::string raw = dir.file("raw-out");
  expectCli("recover " + sample + " Partition0 " + raw, 0, {"saved 9 files in 5 folders"});
  const std::string ewf = "ewfacquire -u -q -c none -S 1MiB " + sample + " -t ", qemu = "qemu-img convert -O ";
  const struct {
    const char* what;
    std::string make;   // run in dir
    std::string image;  // opened as SOURCE
  } rows[] = {
      {"EWF in 17 segments", ewf + "ev", "ev.E01"},
      {"EWF named otherwise", ewf + "one -S 64MiB && mv one.E01 evidence.bin", "evidence.bin"},
      {"EWF, compressed", "ewfacquire -u -q -c deflate:best " + sample + " -t packed", "packed.E01"},
      {"dynamic VHD", qemu + "vpc " + sample + " d.vhd", "d.vhd"},
      {"fixed VHD", qemu + "vpc -o subformat=fixed " + sample + " f.vhd", "f.vhd"},
      {"VHDX", qemu + "vhdx " + sample + " d.vhdx", "d.vhdx"},
      {"sparse VMDK", qemu + "vmdk " + sample + " d.vmdk", "d.vmdk"},
      {"VMDK descriptor and flat extent", qemu + "vmdk -o subformat=monolithicFlat " + sample + " flat.vmdk", "flat.vmdk"},
      {"QCOW2", qemu + "qcow2 -c " + sample + " d.qcow2", "d.qcow2"},
      {"split raw", "split -b 3000000 -d -a 3 --numeric-suffixes=1 " + sample + " part.", "part.001"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::string log;
    ASSERT_EQ(test::runCommand("cd " + dir.path() + " && " + row.make + " 2>&1", &log), 0) << log;
    const std::string image = dir.file(row.image);
    expectCli("disks --no-drives --image " + image, 0,
              {"Partition0                     SAMPLE           exFat              1.0 MB      15.0 MB"});
    const std::string out = dir.file(std::string("out-") + row.image);
    expectCli("recover " + image + " Partition0 " + out, 0, {"saved 9 files"});
    std::string diff;
    EXPECT_EQ(test::runCommand("diff -r " + raw + " " + out + " 2>&1", &diff), 0) << diff;
  }
}

// A broken evidence file is refused with its reason, or read as far as it
// vouches for its bytes; never called whole.
TEST(EvidenceImages, BrokenEvidenceIsNamedNeverSavedAsWhole) {
  const std::string sample = test::fixtureImage("sample-disk.img");
  for (const char* tool : {"ewfacquire", "qemu-img"})
    DUDORAZU_SKIP_UNLESS(test::haveTool(tool), std::string(tool) + " is not installed");
  test::TempDir dir;
  std::string log, made = " -t ev 2>&1 && qemu-img convert -O qcow2 " + sample + " d.qcow2 2>&1";
  ASSERT_EQ(runCommand("cd " + dir.path() + " && ewfacquire -u -q -c none -S 1MiB " + sample + made, &log), 0) << log;
  const std::vector<std::string> pieces = segments(dir.path(), "ev");
  ASSERT_EQ(pieces.size(), 17u);
  // The playlist holds 20000 'a's; a byte of its chunk changed breaks that
  // chunk's checksum.
  ASSERT_TRUE(spoilAfter(pieces, std::string(4096, 'a')));
  expectCli("recover " + dir.file("ev.E01") + " Partition0 " + dir.file("out"), 1,
            {"damaged: /音乐/歌单.txt", "2 damaged"});
  EXPECT_EQ(test::readFile(dir.file("out/根目录/音乐/歌单.txt")).find('Z'), std::string::npos)
      << "the changed byte reached the saved file";

  const std::string head = test::readRange(dir.file("d.qcow2"), 0, 100000);
  const struct {
    const char* what;
    std::string name, bytes;
    std::string says;
  } rows[] = {
      {"EWF cut after its header", "cut.E01", test::readRange(pieces[0], 0, 4096),
       "not a readable EWF image: its first sector cannot be read"},
      {"QCOW cut short", "cut.qcow2", head, "not a readable QCOW image: libqcow_file_open"},
      {"QCOW signature alone", "sig.qcow2", "QFI\xFB", "not a readable QCOW image"},
      {"QCOW claiming 2^63 bytes", "huge.qcow2",
       std::string(head).replace(24, 8, std::string("\x7F\xFF\xFF\xFF\xFF\xFF\xFE\x00", 8)),
       "not a readable QCOW image"},
      {"VHDX signature alone", "sig.vhdx", "vhdxfile" + std::string(70000, '\0'), "not a readable VHDX image"},
      {"VMDK descriptor naming no extent", "e.vmdk", "# Disk DescriptorFile\nversion=1\ncreateType=\"monolithicFlat\"\n",
       "not a readable VMDK image"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    test::writeFile(dir.file(row.name), row.bytes);
    expectCli("disks --no-drives --image " + dir.file(row.name), 1, {"cannot open image", row.says});
    expectCli("tree " + dir.file(row.name) + " Partition0", 1, {"for reading: " + row.says});
  }
}

}  // namespace
}  // namespace dudorazu
