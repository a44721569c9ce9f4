#include "core/tools/long_operations.h"

#include <gtest/gtest.h>

#include "core/tools/write_questions.h"

namespace dudorazu {
namespace {

TEST(LongOperation, MarkersRefuseASecondRunOfTheirKindAndAreReleasedAfterwards) {
  ProcessMarkers process;
  PaneMarkers pane;
  RecordingMessageSink messages;
  RecordingQuestions questions;
  ProgressBlock progress;
  int runs = 0;
  LongOperation inner{kTitleSearch, &process.search, true, [&](ProgressBlock&, MessageSink&, Questions&) {
                        ++runs;
                        return true;
                      }};
  LongOperation outer{kTitleWholeDiskScan, &process.search, true, [&](ProgressBlock& p, MessageSink& m, Questions& q) {
                        EXPECT_TRUE(process.search.running());
                        EXPECT_FALSE(runLongOperation(inner, p, m, q)) << "a search while a scan runs";
                        // A busy counter lets every taker in and counts them.
                        LongOperation busy{"", &pane.busy, false, [&](ProgressBlock&, MessageSink&, Questions&) {
                                             EXPECT_TRUE(pane.busy.refuse(m));
                                             return false;
                                           }};
                        EXPECT_TRUE(pane.busy.take(m));
                        EXPECT_FALSE(runLongOperation(busy, p, m, q));
                        pane.busy.release();
                        return true;
                      }};
  EXPECT_TRUE(runLongOperation(outer, progress, messages, questions));
  EXPECT_TRUE(runs == 0 && !process.search.running() && !pane.busy.running()) << "markers released";
  EXPECT_TRUE(runLongOperation(inner, progress, messages, questions) && runs == 1);
  std::string said;
  for (const auto& m : messages.messages) said += m.caption + ": " + m.text + "\n";
  EXPECT_EQ(said, "waiting: 等待当前操作完成！\nerror: 等待当前操作完成，请稍后！\n");
  EXPECT_FALSE(pane.loading.refuse(messages));
  ASSERT_TRUE(process.statistics.take(messages));
  EXPECT_TRUE(process.statistics.refuse(messages));
  EXPECT_EQ(messages.messages.back().caption + ": " + messages.messages.back().text, "waiting: 正在计算，请稍后...");
  process.statistics.release();
}

TEST(LongOperation, TitlesAndStopping) {
  DiskRecord disk;
  PartitionRecord& partition = disk.partitions.emplace_back();
  LoadedVolume volume(partition);
  uint64_t sector = 0;
  SaveScheduler scheduler;
  ImagingJob job;
  ImagingOutcome outcome;
  std::optional<std::string> text;
  std::vector<ExfatFileRecord*> hits;
  struct Case {
    LongOperation operation;
    const char* title;
    bool stoppable;
  } cases[] = {
      {treeLoadOperation(disk, volume), "展开分区文件", false},
      {lostFileScanOperation(disk, volume), "扫描丢失文件", false},
      {searchOperation(disk, SearchMode::Aligned, 0, {}), "扫描分区", true},
      {upcaseScanOperation(disk, nullptr, sector), "全盘扫描", true},
      {upcaseScanOperation(disk, &partition, sector), "分区扫描", true},
      {batchSaveOperation(scheduler, {}, false), "正在保存文件", true},
      {batchSaveOperation(scheduler, {}, true), "检查", true},
      {imagingOperation(job, outcome, {}), "镜像", true},
      {statisticsOperation(true, nullptr, text), "", false},
      {recordSearchOperation({}, {}, hits), "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.operation.title + (c.operation.stoppable ? " stoppable" : ""),
              c.title + std::string(c.stoppable ? " stoppable" : ""));
    EXPECT_TRUE(c.operation.run) << c.title;
  }
}

TEST(WriteQuestions, TextsOfEveryWrite) {
  DiskRecord disk;
  disk.vendorId = "card.img";
  disk.devicePath = "/images/card.img";
  RebuildRow a{"exFat", "A", "2048", "8.0 MB", "主", 0};
  RebuildRow b{"NTFS", "B", "32130", "1.0 GB", "主", 1};
  EXPECT_EQ(rebuildMbrQuestion(disk, {&a, &b}).text,
            "this overwrites the partition table in sector 0 of card.img (/images/card.img) with:\n"
            "  exFat at sector 2048, 8.0 MB\n  NTFS at sector 32130, 1.0 GB\nContinue?");

  BackupContents contents;
  for (uint64_t i = 0; i < 17; ++i) contents.offsets.push_back(i * 1024);
  EXPECT_EQ(restoreQuestion(disk, contents).text,
            "this overwrites 17 sector(s) of card.img (/images/card.img): 0 2 4 6 8 10 12 14 16 18 20 22 24 26 28 "
            "30 ...\nContinue?");

  ImagingJob toDisk;
  toDisk.toDisk = true;
  toDisk.targetStartSector = 7;
  toDisk.mapfile = "run.map";
  ImagingJob toFile;
  toFile.targetFile = "out.img";
  struct Case {
    const ImagingJob& job;
    bool fileExists, mapfileExists;
    const char* text;  // nullptr: nothing to ask
  } cases[] = {
      {toDisk, false, false, "该操作可能破坏目标磁盘: this overwrites 9 sector(s) of the target from sector 7\nContinue?"},
      {toDisk, false, true,
       "该操作可能破坏目标磁盘: this overwrites 9 sector(s) of the target from sector 7 and the mapfile run.map\nContinue?"},
      {toFile, true, false, "this replaces the file out.img\nContinue?"},
      {toFile, false, false, nullptr},
  };
  for (const Case& c : cases) {
    std::optional<Question> q = imagingQuestion(c.job, 9, "the target", c.fileExists, c.mapfileExists);
    EXPECT_EQ(q ? q->text : "(none)", c.text ? c.text : "(none)");
  }
  toFile.mapfile = "run.map";
  EXPECT_EQ(imagingQuestion(toFile, 9, "", false, true)->text, "this replaces the mapfile run.map\nContinue?");

  EXPECT_TRUE(replaceFileQuestion("t.bin").kind == Question::Kind::ReplaceFile && replaceFileQuestion("t.bin").path == "t.bin");
}

}  // namespace
}  // namespace dudorazu
