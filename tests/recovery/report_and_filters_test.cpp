// SHA-256, the DFXML report, record filters, statistics texts and property rows.
#include <gtest/gtest.h>

#include <functional>

#include "core/recovery/dfxml_report.h"
#include "core/present/properties.h"
#include "core/recovery/record_filter.h"
#include "core/recovery/record_search.h"
#include "core/recovery/save_report.h"
#include "core/recovery/sha256.h"
#include "core/present/recoverability_text.h"
#include "core/present/statistics.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

TEST(Sha256, PiecewiseUpdatesAndAFreshStartAfterEachDigest) {
  std::string million(1000000, 'a');
  Sha256 h;
  for (size_t at = 0; at < million.size(); at += 777) h.update(million.data() + at, std::min<size_t>(777, million.size() - at));
  EXPECT_EQ(h.finishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_EQ(h.finishHex(), sha256Hex("", 0));
  EXPECT_EQ(sha256Hex("", 0), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(DfxmlReport, EscapesNamesAndIsWellFormed) {
  DfxmlSource source;
  source.imageFilename = "disk & <1>.img";
  source.partitionOffset = 1048576;
  source.blockSize = 4096;
  DfxmlFile f;
  f.filename = "a<b>/\"q\"&'x'\x01\xff.txt";
  f.filesize = 5000, f.allocated = false;
  f.modifyDate = 0x3A21, f.modifyTime = 0x6B2D;
  f.runs = {{0, 1048576 + 8192, 4096}, {4096, 1048576 + 40960, 904}};
  f.sha256 = std::string(64, 'a');
  f.outputPath = "/out/a$b$";
  f.status = "saved";
  f.recoverability = recoverabilityBit(kOverwritten) | recoverabilityBit(kDamaged);
  f.bytesAtRisk = 4096;
  f.alsoInTree = true;
  // No carve is "saved", whatever else went well: each kind has its status
  // and its line.
  const struct {
    CarveKind kind;
    const char* status;
    const char* line;
  } carves[] = {
      {kCarvedIncomplete, "incomplete", "incomplete: / -> /out/x.jpg (carved; cut short"},
      {kCarvedToEndMarker, "carved", "carved: / -> /out/x.jpg (found by content; its data decodes whole"},
      {kCarvedLengthEstimated, "carved", "carved: / -> /out/x.jpg (found by content; length from its header)"},
      {kCarvedEndGuessed, "end-guessed", "carved (end guessed): / -> /out/x.jpg"},
      {kCarvedThroughFreeClusters, "guessed", "guessed: / -> /out/x.jpg (carved; its data broke off"},
  };
  DfxmlFile cut;
  for (const auto& c : carves) {
    ExfatFileRecord carved;
    carved.carve = c.kind;
    carved.recoverability = recoverabilityBit(kCarved);
    SavedFile saved;
    saved.record = &carved, saved.outputPath = "/out/x.jpg", saved.created = true;
    // A read error the save met adds to what the record was judged.
    if (c.kind == kCarvedLengthEstimated) saved.unreadable.push_back({0, 0, 512});
    DfxmlFile d = dfxmlFileOf(saved, false);
    EXPECT_TRUE(d.status == c.status &&
                d.recoverability == (recoverabilityBit(kCarved) | (saved.unreadable.empty() ? 0 : recoverabilityBit(kDamaged))))
        << c.line;
    EXPECT_EQ(savedFileProblem(saved).rfind(c.line, 0), 0u) << savedFileProblem(saved);
    if (c.kind == kCarvedIncomplete) cut = d;
  }
  std::string xml = dfxmlDocument(source, {f, cut});
  for (const char* piece : {"<filename>a&lt;b&gt;/&quot;q&quot;&amp;&apos;x&apos;\xEF\xBF\xBD\xEF\xBF\xBD.txt</filename>",
                            "<mtime>2009-01-01T13:25:26</mtime>",
                            "<byte_run file_offset=\"4096\" img_offset=\"1089536\" fs_offset=\"40960\" len=\"904\"/>",
                            "<dudorazu:found_by>carving</dudorazu:found_by>\n      "
                            "<dudorazu:carve_end>cut-short</dudorazu:carve_end>",
                            "<dudorazu:recoverability all=\"overwritten damaged\" bytes_at_risk=\"4096\" "
                            "also_in_tree=\"1\">overwritten</dudorazu:recoverability>",
                            "<dudorazu:recoverability all=\"carved\">carved</dudorazu:recoverability>"})
    EXPECT_TRUE(test::contains(xml, piece)) << piece << "\n" << xml;
  DUDORAZU_SKIP_UNLESS(test::haveTool("xmllint"), "xmllint is not installed: the report was not validated");
  test::TempDir dir;
  test::writeFile(dir.file("r.xml"), xml);
  EXPECT_EQ(test::runCommand("xmllint --noout '" + dir.file("r.xml") + "' 2>&1"), 0);
}

// Patterns that match in any case are checked through the record search.
TEST(RecordFilter, WildcardsExtensionsAndState) {
  // ? is one character, not one byte.
  for (auto [pattern, text, matches] : {std::tuple{"照?.jpg", "照片.jpg", true}, {"照?.jpg", "照.jpg", false},
                                        {"*", "", true}, {"a*b", "a", false}, {"a**b*c", "axxbyyc", true}})
    EXPECT_EQ(wildcardMatch(pattern, text), matches) << pattern << " " << text;
  EXPECT_EQ(parseExtensionList("jpg; .DOC,xls"), (std::vector<std::string>{"jpg", "doc", "xls"}));
  RecordFilter filter;
  filter.state = RecordFilter::State::Deleted;
  filter.extensions = parseExtensionList("jpg;doc");
  ExfatFileRecord r;
  r.name = "Report.DOC";
  // Each step changes the filter or the record; a file with no extension
  // matches no list; by the worst state, a file taken in part is not intact.
  const std::function<void()> steps[] = {
      [&] { r.state = kStateDeletedFile; },
      [&] { r.state = kStateFile; },
      [&] { filter.state = RecordFilter::State::Live; },
      [&] { r.name = "README"; },
      [&] { filter.extensions.clear(), filter.namePatterns = parsePatternList("*x*;read*"); },
      [&] { filter.recoverability = kOnlyIntact; },
      [&] { r.recoverability = recoverabilityBit(kOverwritten) | recoverabilityBit(kCarved); },
      [&] { filter.recoverability = kOnlyAtRisk; },
      [&] { r.recoverability = 0; },
  };
  std::string matched;
  for (const auto& step : steps) matched += (step(), filter.matches(r)) ? "+" : "-";
  EXPECT_EQ(matched, "+-+-++-+-");
  EXPECT_FALSE(filter.empty());
  filter = RecordFilter{};
  filter.recoverability = kOnlyIntact;
  EXPECT_FALSE(filter.empty()) << "a filter by state alone is a filter";
}

TEST(RecordSearch, ModesWholeMatchStatesAndKinds) {
  ExfatFileRecord root;
  auto add = [](ExfatFileRecord& parent, std::string name, uint8_t state) -> ExfatFileRecord& {
    ExfatFileRecord& r = parent.children.emplace_back();
    r.name = std::move(name);
    r.state = state;
    r.parent = &parent;
    return r;
  };
  ExfatFileRecord& docs = add(root, "Docs", kStateFolder);
  add(docs, "ReadMe.txt", kStateDeletedFile).recoverability = recoverabilityBit(kOverwritten);
  add(docs, "report.doc", kStateFile);
  ExfatFileRecord& old = add(docs, "old.jpg", kStateDeletedFolder);
  add(old, "photo.JPEG", kStateFile).recoverability = recoverabilityBit(kCarved);
  add(root, "readme", kStateFile);
  using M = SearchCriteria::Mode;
  struct Case {
    M mode;
    const char* text;
    bool whole, deleted, live, files, folders;
    const char* hits;
    uint8_t recoverability = 0;
  } cases[] = {
      {M::Name, "", false, true, true, true, true, "Docs ReadMe.txt report.doc old.jpg photo.JPEG readme"},
      {M::Name, "README", false, true, true, true, true, "ReadMe.txt readme"},
      {M::Name, "README", true, true, true, true, true, "readme"},
      {M::Name, "readme", false, true, false, true, true, "ReadMe.txt"},
      {M::Name, "o", false, true, true, false, true, "Docs old.jpg"},
      {M::Extensions, "  txt; doc; xls", true, true, true, true, true, "ReadMe.txt report.doc"},
      {M::Extensions, "jp", false, true, true, true, false, "photo.JPEG"},
      {M::Extensions, "jp", true, true, true, true, true, ""},
      {M::Patterns, "  *r*me.t?t;*jp*", true, true, true, true, true, "ReadMe.txt old.jpg photo.JPEG"},
      {M::Patterns, "e?d", false, true, true, true, true, "ReadMe.txt readme"},
      {M::Patterns, "e?d", true, true, true, true, true, ""},
      {M::Name, "", false, true, true, true, false, "report.doc readme", kOnlyIntact},
      {M::Name, "", false, true, true, true, false, "ReadMe.txt photo.JPEG", kOnlyAtRisk},
  };
  for (const Case& c : cases) {
    SearchCriteria criteria{c.mode, c.text, c.whole, c.deleted, c.live, c.files, c.folders, c.recoverability};
    std::string names;
    for (ExfatFileRecord* hit : searchRecords(root, criteria)) names += (names.empty() ? "" : " ") + hit->name;
    EXPECT_EQ(names, c.hits) << c.text << " whole=" << c.whole;
  }
  ProgressBlock stopped;
  stopped.cancel();
  EXPECT_TRUE(searchRecords(root, {}, &stopped).empty());
}

TEST(Statistics, MessageAndStatusTextAtTheirEdges) {
  EXPECT_EQ(statisticsMessage({1ull << 50, 1, 1}), "文件统计： 0B在1个文件夹中包含 1个文件");
  EXPECT_EQ(*statisticsForRow(false, nullptr), "文件统计： 0B在0个文件夹中包含 0个文件");
  EXPECT_FALSE(statisticsForRow(true, nullptr)) << "a row whose record is gone shows nothing";
  ExfatFileRecord folder, file, odd;
  folder.state = kStateDeletedFolder;
  file.state = kStateFile, file.dataLength = 1023;
  odd.state = 9, odd.dataLength = 5000;
  odd.children.push_back(file);
  folder.children.push_back(file);
  folder.children.push_back(odd);
  // The described totals, then the files below by how they come back.
  EXPECT_EQ(*statisticsForRow(true, &folder), "文件统计： 1023.0B在1个文件夹中包含 1个文件；可完整恢复 1 个");
  // Files by their worst state; the odd record's file is not counted, as it is not in the message.
  folder.children.front().recoverability = recoverabilityBit(kDamaged) | recoverabilityBit(kGuessed);
  folder.children.push_back(file);
  EXPECT_EQ(statisticsByStateText(tallySubtree(&folder)), "可完整恢复 1 个，扇区损坏 1 个");
  EXPECT_EQ(countsByStateNames(tallySubtree(&folder)), "intact 1, damaged 1");
  EXPECT_EQ(statisticsByStateText(tallySubtree(&odd)), "") << "no file, no counts";
  // A row's words: the worst state, the bytes at risk of the length (the last cluster only as far as the file
  // reaches), and whether the tree holds it too.
  file.dataLength = 10000;
  file.recoverability = recoverabilityBit(kOverwritten) | recoverabilityBit(kGuessed);
  file.overwrittenClusters = 3;
  file.recoverMarks = kOverwrittenTail | kAlsoInTree;
  EXPECT_EQ(recoverabilityLabelText(file, 4096), "已被覆盖（10000/10000 字节），另见目录树");
  EXPECT_EQ(recoverabilitySummary(file, 4096), "overwritten,guessed 10000/10000 also-in-tree");
  // The save's closing text counts the damaged files and puts the lines of one kind together, the worst first.
  SaveTotals totals;
  totals.damaged = 1;
  EXPECT_EQ(saveReportText(totals, {"guessed: /a", "carved: /x", "damaged: /b\noverwritten: /b", "guessed: /c"}, false),
            "已保存 0 个文件，0 字节。\n其中 1 个文件有簇位于无法读取的扇区或卷外，保存的内容不完整。\n以下 4 个文件未完整保存或需核对："
            "\ndamaged: /b\noverwritten: /b\nguessed: /a\nguessed: /c\ncarved: /x");
  EXPECT_EQ(folderStatusText(1048576, 12, 345), "总大小 1.0MB 在 12 个文件夹中共有 345 个文件");
  EXPECT_EQ(folderStatusText(1ull << 50, 1, 1), "总大小 1125899906842624 在 1 个文件夹中共有 1 个文件");
  EXPECT_EQ(statisticsMessage({0, 5000000000ull, 0}), "文件统计： 0B在0个文件夹中包含 5000000000个文件")
      << "counts are not cut to 32 bits";
}

TEST(Properties, DiskAndPartitionRows) {
  DiskRecord image;
  image.devicePath = "/images/card.img";
  image.vendorId = "card.img";
  image.diskSize = 1ull << 30;
  PartitionRecord p;
  p.name = "exFat1";
  p.startSector = 2048;
  p.sizeSectors = 5000000000ull;
  auto text = [](const std::vector<PropertyRow>& rows) {
    std::string s;
    for (const PropertyRow& r : rows) s += r.name + "=" + r.value + "\n";
    return s;
  };
  EXPECT_EQ(text(diskProperties(image)),
            "驱动类型=系统文件\n名称=/images/card.img\n系统对象=/images/card.img\n大小=1.0 GB (2097152 sec)\n");
  EXPECT_EQ(text(partitionProperties(image, p)),
            "驱动类型=分区\n名称=exFat1\n系统对象=/images/card.img\n大小=2384.2 GB (5000000000 sec)\n"
            "起始地址=1.0 MB (2048 sec)\n分区大小=2384.2 GB (5000000000 sec)\n");
  DiskRecord drive = std::move(image);
  drive.devicePath = "/dev/sdb";
  drive.vendorId = "ACME";
  drive.productId = "Disk";
  drive.driveNumber = "1";
  p.driveLetter = "/media/x";
  EXPECT_EQ(text(diskProperties(drive)),
            "驱动类型=物理驱动-硬盘\n名称=ACMEDisk1\n系统对象=/dev/sdb\n大小=1.0 GB (2097152 sec)\n扇区大小=512B\n"
            "分区大小=1.0 GB (2097152 sec)\n");
  std::string part = text(partitionProperties(drive, p));
  EXPECT_EQ(part.substr(0, part.find("大小=")), "驱动类型=卷-硬盘\n名称=/media/x\n系统对象=/dev/sdb\n");
  EXPECT_NE(part.find("扇区大小=512B\n起始地址="), std::string::npos);
}

}  // namespace
}  // namespace dudorazu
