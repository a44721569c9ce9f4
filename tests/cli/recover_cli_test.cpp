// recover and stats end to end, on the committed recovery fixtures.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using namespace test;

struct Scenario {
  const char* name;
  const char* image;
  std::string options;
  int status;
  std::vector<std::string> said;     // in stdout and stderr together
  std::vector<std::string> notSaid;
  std::function<void(const std::string& out, const std::string& report)> check;
  uint64_t truncateTo = 0;  // save from a copy cut off here
};

// jpeg-carve.expected.txt: "jpeg NAME CLUSTER LENGTH SHA256" of each deleted photo.
struct JpegExpectation {
  std::string name;
  uint32_t cluster = 0;
  std::string sha256;
};

std::vector<JpegExpectation> jpegCarveExpectations() {
  std::vector<JpegExpectation> out;
  std::istringstream in(test::fixtureText("jpeg-carve.expected.txt"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string kind;
    uint64_t length = 0;
    JpegExpectation j;
    if (words >> kind && kind == "jpeg" && words >> j.name >> j.cluster >> length >> j.sha256) out.push_back(j);
  }
  test::require(out.size() == 3, "jpeg-carve.expected.txt lists three photos");
  return out;
}

// The <fileobject> of `path` (without its leading "/") in a report; ends the test when there is none.
std::string reportEntry(const std::string& xml, const std::string& path) {
  const size_t at = xml.find("<filename>" + path + "</filename>");
  test::require(at != std::string::npos, "no report entry for " + path);
  return xml.substr(at, xml.find("</fileobject>", at) - at);
}

TEST(RecoverCli, ScenariosNameWhatWasNotSavedWholeAndSetTheStatus) {
  DUDORAZU_SKIP_UNLESS(test::haveTool("xmllint"), "xmllint is not installed: the reports are not validated");
  const Scenario scenarios[] = {
      {"the whole root with a report", "recovery-main.img", "", 1,
       {"saved 216 files in 12 folders", "0 failed, 0 damaged, 1 guessed", "guessed: /gone/frag-deleted.dat -> "},
       {"short:"},
       [](const std::string& out, const std::string& xml) {
         test::expectSavedAsListed("recovery-main.sha256.txt", out + "/根目录");
         test::expectSavedAsListed("recovery-main.deleted.txt", out + "/根目录", "/gone/");
         EXPECT_TRUE(contains(xml, "<filename>gone/contiguous-deleted.bin</filename>\n      <filesize>3145733</filesize>\n"
                                   "      <alloc>0</alloc>"));
         EXPECT_TRUE(contains(xml, "<filename>many/size-0.bin</filename>"));
         const std::string entry = reportEntry(xml, "gone/frag-deleted.dat");
         for (const char* piece : {"<dudorazu:bytes_written>327680</dudorazu:bytes_written>",
                                   "<dudorazu:clusters>guessed</dudorazu:clusters>", "<dudorazu:found_by>entry</dudorazu:found_by>"})
           EXPECT_TRUE(contains(entry, piece)) << entry;
         // The digest in the report is the icat digest of the live file.
         std::string oracle = test::fixtureText("recovery-main.sha256.txt");
         size_t at = oracle.find(" /big/ten.bin");
         ASSERT_NE(at, std::string::npos);
         EXPECT_TRUE(contains(xml, "<hashdigest type=\"sha256\">" + oracle.substr(at - 64, 64) + "</hashdigest>"));
       }},
      {"the chain alone", "recovery-main.img", "--chain-only --path /gone", 1,
       {"short: /gone/frag-deleted.dat -> ", "(4096 of 327680 bytes", "1 shorter than recorded"},
       {"guessed"}, nullptr},
      {"chains cleared by the driver, and 1 PiB claimed", "recovery-guess.img", "", 1,
       {"damaged: /huge.bin -> ", "records 1125899906842624 bytes, more than the volume holds",
        "guessed: /gone/a.txt -> ", "guessed: /gone/inner/b.txt -> ", "1 damaged, 2 guessed"},
       {"too little", "short:"},
       [](const std::string& out, const std::string& xml) {
         test::expectSavedAsListed("recovery-guess.sha256.txt", out + "/根目录");
         EXPECT_TRUE(contains(xml, "<dudorazu:status>damaged</dudorazu:status>"));
       }},
      // No carve is known to be whole: each is named, and the status says so.
      {"carved files", "exfat-carve.img", "--lost", 1,
       {"6 carved", "carved: /扩展目录/11.jpg -> ", "decodes whole up to its end marker",
        "carved: /扩展目录/Report16.doc -> ", "length from its header"},
       {"<dudorazu:status>saved</dudorazu:status>\n      <dudorazu:found_by>carving"},
       [](const std::string&, const std::string& xml) {
         EXPECT_TRUE(contains(xml, "<dudorazu:status>carved</dudorazu:status>\n"
                                   "      <dudorazu:found_by>carving</dudorazu:found_by>\n"
                                   "      <dudorazu:carve_end>end-marker</dudorazu:carve_end>"));
         EXPECT_TRUE(contains(xml, "<dudorazu:carve_end>estimated</dudorazu:carve_end>\n"
                                   "      <dudorazu:format>doc</dudorazu:format>"));
         EXPECT_FALSE(contains(xml, "<dudorazu:status>saved</dudorazu:status>\n      <dudorazu:found_by>carving"));
       }},
      // Files walked to their structure's end are still carves, named so.
      {"carved by structure", "carve-formats.img", "--lost", 1,
       {"carved: /扩展目录/65.mp4 -> ", "its own structure walked to its end"},
       {"incomplete:"},
       [](const std::string& out, const std::string& xml) {
         EXPECT_EQ(test::sha256OfFile(out + "/扩展目录/99.docx"),
                   "85f166ec0433f6cdda5ca60ce5df8cd7647612b19b96321afa485baf9bc449cf");
         EXPECT_TRUE(contains(xml, "<dudorazu:status>carved</dudorazu:status>\n"
                                   "      <dudorazu:found_by>carving</dudorazu:found_by>\n"
                                   "      <dudorazu:carve_end>structure</dudorazu:carve_end>\n"
                                   "      <dudorazu:format>heic</dudorazu:format>"));
       }},
      // A file whose structure broke off at a live file's cluster is saved
      // from the free clusters its walk went on in, byte for byte, and named a guess.
      {"carved in pieces", "carve-pieces.img", "--lost", 1,
       {"guessed: /扩展目录/42.zip -> ", "its structure broke off and goes on to its end in free clusters"},
       {"incomplete:"},
       [](const std::string& out, const std::string& xml) {
         EXPECT_EQ(test::sha256OfFile(out + "/扩展目录/42.zip"),
                   "10fb7e12522e7943479761210c08b6d24fa90e06a776e3c1e41e756e19e3a597");
         EXPECT_TRUE(contains(xml, "<dudorazu:carve_end>structure</dudorazu:carve_end>\n"
                                   "      <dudorazu:format>zip</dudorazu:format>\n"
                                   "      <dudorazu:clusters>guessed</dudorazu:clusters>"));
       }},
      // A photo carved through a live file's clusters goes on in the free
      // ones where its data decodes; a head that cannot be followed ends at
      // a foreign end marker, which is named a guess.
      {"carves checked by decoding them", "jpeg-carve.img", "--lost", 1,
       {"guessed: /扩展目录/11.jpg -> ", "its data broke off and decodes on to its end marker",
        "carved (end guessed): /扩展目录/1240.jpg -> ", "its data unverified"},
       {"incomplete:"},
       [](const std::string& out, const std::string& xml) {
         for (const JpegExpectation& j : jpegCarveExpectations())
           EXPECT_EQ(test::sha256OfFile(out + "/扩展目录/" + std::to_string(j.cluster) + ".jpg"), j.sha256) << j.name;
         EXPECT_TRUE(contains(xml, "<dudorazu:status>end-guessed</dudorazu:status>\n"
                                   "      <dudorazu:found_by>carving</dudorazu:found_by>\n"
                                   "      <dudorazu:carve_end>end-guessed</dudorazu:carve_end>"));
         EXPECT_TRUE(contains(xml, "<dudorazu:status>guessed</dudorazu:status>\n"
                                   "      <dudorazu:found_by>carving</dudorazu:found_by>"));
       }},
      // Two photos written in turns, deleted, their chains cleared: each
      // takes the free clusters where its own data decodes on, and is still
      // named a guess.
      {"deleted photos whose chains were cleared", "jpeg-carve.img", "", 1,
       {"guessed: /a.jpg -> ", "guessed: /b.jpg -> ", "guessed: /frag.jpg -> ",
        "the free clusters where its JPEG data decodes on"},
       {},
       [](const std::string& out, const std::string&) {
         for (const JpegExpectation& j : jpegCarveExpectations())
           EXPECT_EQ(test::sha256OfFile(out + "/根目录/" + j.name), j.sha256) << j.name;
       }},
      {"an image cut off before the root folder", "recovery-guess.img", "", 1,
       {"the root folder (cluster 5) of partition 'Partition0' cannot be read"}, {"saved 0 files"}, nullptr,
       3158016 + 100},
      {"a dry run of the deleted files", "recovery-main.img", "--dry-run --deleted", 1,
       {"would save 3 files", "gone/frag-deleted.dat  327680  已删除文件", "would be guessed: /gone/frag-deleted.dat"},
       {},
       [](const std::string& out, const std::string&) {
         EXPECT_FALSE(std::filesystem::exists(out)) << "a dry run writes nothing";
       }},
      {"deleted files in clusters new files took, and two photos written in turns", "recovery-overwrite.img",
       "--deleted", 1,
       {"overwritten: /gone/whole.bin -> ", "(32768 of 32768 bytes read from clusters now in use by other files)",
        "overwritten: /gone/half.bin -> ", "(16384 of 65536 bytes", "overwritten: /gone/chain.dat -> ",
        "overwritten: /kept/short.txt -> ", "guessed: /DCIM/A.JPG -> ", "guessed: /DCIM/B.JPG -> ",
        "4 overwritten, 2 guessed"},
       {"/gone/intact.bin -> "},
       [](const std::string&, const std::string& xml) {
         // Per deleted file: sha256 and length as written, bytes in clusters live files hold now, path.
         std::istringstream truth(test::fixtureText("recovery-overwrite.truth.txt"));
         std::string sha, path;
         uint64_t length = 0, taken = 0;
         while (truth >> sha >> length >> taken >> path) {
           SCOPED_TRACE(path);
           const std::string entry = reportEntry(xml, path.substr(1));
           const bool photo = contains(path, "/DCIM/");
           const std::string status = taken ? "overwritten" : photo ? "guessed" : "saved";
           EXPECT_TRUE(contains(entry, "<dudorazu:status>" + status + "</dudorazu:status>")) << entry;
           EXPECT_EQ(contains(entry, "<dudorazu:overwritten_bytes>" + std::to_string(taken) + "<"), taken != 0) << entry;
           EXPECT_TRUE(contains(entry, "<filesize>" + std::to_string(length) + "</filesize>")) << entry;
           // What nobody took comes back as written.
           EXPECT_TRUE(taken || photo || contains(entry, ">" + sha + "</hashdigest>")) << entry;
         }
       }},
      {"a path that is not there", "recovery-main.img", "--path /no/such", 1, {"no record at '/no/such'"}, {}, nullptr},
      // Selected by the state each file was judged before the save: the intact ones come back whole, and what is
      // at risk is named.
      {"only the intact files", "recovery-states.img", "--only-intact", 0, {"saved 7 files"}, {"overwritten", "guessed"},
       [](const std::string& out, const std::string& xml) {
         std::istringstream truth(test::fixtureText("recovery-states.truth.txt"));
         std::string sha, states, path;
         uint64_t length = 0, overwritten = 0, damaged = 0;
         while (truth >> sha >> length >> states >> overwritten >> damaged >> path)
           EXPECT_TRUE(states != "intact" || test::sha256OfFile(out + "/根目录" + path) == sha) << path;
         EXPECT_FALSE(contains(xml, "<dudorazu:status>overwritten")) << xml;
         EXPECT_TRUE(contains(xml, "<dudorazu:recoverability all=\"intact\">intact</dudorazu:recoverability>"));
       }},
      {"only the files at risk", "recovery-states.img", "--only-at-risk", 1,
       {"overwritten: /gone/whole.bin -> ", "overwritten: /gone/part.bin -> ", "guessed: /gone/chain.dat -> ",
        "short: /gone/far.bin -> ", "(0 of 5000 bytes; its data starts or goes on outside the volume)", "saved 4 files"},
       {"/live/"},
       [](const std::string&, const std::string& xml) {
         EXPECT_TRUE(contains(xml, "<dudorazu:recoverability all=\"overwritten\" bytes_at_risk=\"16384\">overwritten<"));
         EXPECT_TRUE(contains(xml, "<dudorazu:recoverability all=\"unreachable\">unreachable<"));
       }},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    test::TempDir dir;
    std::string image = test::fixtureImage(s.image), report = dir.file("r.xml"), out = dir.file("out");
    if (s.truncateTo) {
      std::filesystem::copy_file(image, dir.file("cut.img"));
      std::filesystem::resize_file(dir.file("cut.img"), s.truncateTo);
      image = dir.file("cut.img");
    }
    std::string options = s.options + (contains(s.options, "--dry-run") ? "" : " --report " + report);
    std::string said = test::expectCli("recover " + image + " Partition0 " + out + " " + options, s.status, s.said).out;
    for (const std::string& piece : s.notSaid) EXPECT_FALSE(contains(said, piece)) << piece << "\n" << said;
    std::string xml = test::readFile(report);
    if (s.check) s.check(out, xml);
    EXPECT_TRUE(xml.empty() || runCommand("xmllint --noout " + report + " 2>&1") == 0) << "an ill-formed report";
  }
}

// A block device takes another way into the files than an image does.
TEST(RecoverCli, ADriveGivesTheFilesAsIcatReadsThem) {
  DUDORAZU_SKIP_UNLESS(test::canUseLoopDevices(), "needs root and losetup for a loop device");
  test::LoopDevice loop(test::fixtureImage("recovery-main.img"), "-r");
  ASSERT_FALSE(loop.path().empty()) << "losetup failed";
  test::TempDir dir;
  test::expectCli("recover " + loop.path() + " Partition0 " + dir.file("out"), 1, {"0 failed, 0 damaged, 1 guessed"});
  test::expectSavedAsListed("recovery-main.sha256.txt", dir.file("out") + "/根目录");
}

// Hostile names stay inside DEST, repaired; a second run keeps the first run's files.
TEST(RecoverCli, HostileNamesStayInsideDestAndASecondRunKeepsTheFirstRunsFiles) {
  test::TempDir dir;
  const std::string args = "recover " + test::fixtureImage("recovery-hostile.img") + " Partition0 " + dir.file("dest");
  test::expectCli(args, 0);
  const std::string root = "dest/根目录/";
  EXPECT_EQ(test::listTree(dir.path()),
            (std::vector<std::string>{"dest/", root, root + "$$/", root + "$$/escape.txt", root + "$/", root + "$/dot.txt",
                                      root + "13", root + "a$b.txt", root + "c$d.txt", root + "e$f.txt"}));
  EXPECT_EQ(test::readFile(dir.file("dest/根目录/$$/escape.txt")), "inside dot-dot\n");
  EXPECT_EQ(test::readFile(dir.file("dest/根目录/13")), "empty\n") << "the empty name becomes the first cluster";
  test::expectCli(args, 0);
  EXPECT_EQ(test::readFile(dir.file("dest/根目录/a$b.txt")) + test::readFile(dir.file("dest/根目录/a$b.txt0.txt")),
            "slash\nslash\n");
}

// An image read with its rescue map: what the map does not call finished
// reads as unreadable, so the files there are named instead of being saved
// with the image's filler bytes.
TEST(RecoverCli, AnImageReadWithItsMapTreatsUnfinishedAreasAsUnreadable) {
  test::TempDir dir;
  const std::string image = test::fixtureImage("recovery-main.img"), map = dir.file("rescue.map"),
                    broken = dir.file("broken.map");
  test::writeFile(map, "0 + 1\n0 0x1000000 +\n0x1000000 0x3000000 -\n");
  test::writeFile(broken, "0 + 1\n0 0x1000000 +\n0x2000000 0x3000000 -\n");
  const struct {
    std::string command;
    int status;
    std::vector<std::string> said, notSaid;
  } runs[] = {
      {"recover " + image + " Partition0 " + dir.file("o1") + " --map " + map, 1,
       {"damaged: /big/ten.bin -> ", "6 damaged", "50331648 byte(s) of 67108864 unfinished"}, {}},
      // Known before a byte of the files is read.
      {"tree " + image + " Partition0 --map " + map, 0, {"contiguous-deleted.bin", "damaged 8728576/10485760"},
       {"inner.txt"}},
      {"tree " + image + " Partition0", 0, {"inner.txt"}, {}},
      {"scan-lost " + image + " Partition0 --map " + broken, 1, {"line 3 of the mapfile: a gap"}, {}},
      {"tree " + image + " Partition0 --map", 2, {}, {}},
  };
  for (const auto& run : runs) {
    const std::string said = test::expectCli(run.command, run.status, run.said).out;
    for (const std::string& piece : run.notSaid) EXPECT_FALSE(contains(said, piece)) << run.command;
  }
}

}  // namespace
}  // namespace dudorazu
