#include "core/tools/write_questions.h"

#include "core/common/text.h"

namespace dudorazu {
namespace {

std::string diskText(const DiskRecord& disk) { return displayName(disk) + " (" + disk.devicePath + ")"; }

const char* goOn(Wording w) { return w == Wording::Chinese ? "\n是否继续？" : "\nContinue?"; }

}  // namespace

Question rebuildMbrQuestion(const DiskRecord& disk, const std::vector<const RebuildRow*>& rows, Wording wording) {
  const bool zh = wording == Wording::Chinese;
  std::string text = zh ? "此操作将改写 " + diskText(disk) + " 第0扇区的分区表，写入："
                        : "this overwrites the partition table in sector 0 of " + diskText(disk) + " with:";
  for (const RebuildRow* r : rows) {
    text += format(zh ? "\n  %s 起始扇区 %s，大小 %s" : "\n  %s at sector %s, %s", r->system.c_str(),
                   r->startText.c_str(), r->sizeText.c_str());
    if (r->recordIndex >= disk.partitions.size()) continue;
    if (RebuiltEntry entry = rebuiltEntry(disk, disk.partitions[r->recordIndex]); entry.cut)
      text += format(zh ? "（超出磁盘末尾，表项截至磁盘末尾，共 %llu 扇区）"
                        : " (runs past the disk's end: its entry stops there, %llu sectors)",
                     static_cast<unsigned long long>(entry.sectors));
  }
  return {Question::Kind::ConfirmWrite, text + goOn(wording), ""};
}

Question restoreQuestion(const DiskRecord& disk, const BackupContents& contents, Wording wording) {
  std::string sectors;
  for (size_t i = 0; i < contents.offsets.size(); ++i) {
    if (i == 16) {
      sectors += " ...";
      break;
    }
    sectors += ' ';
    sectors += std::to_string(contents.offsets[i] / 512);
  }
  const std::string count = std::to_string(contents.offsets.size());
  std::string text = wording == Wording::Chinese ? "此操作将改写 " + diskText(disk) + " 的 " + count + " 个扇区："
                                                 : "this overwrites " + count + " sector(s) of " + diskText(disk) + ":";
  return {Question::Kind::ConfirmWrite, text + sectors + goOn(wording), ""};
}

std::optional<Question> imagingQuestion(const ImagingJob& job, uint64_t sectors, const std::string& targetText,
                                        bool targetFileExists, bool mapfileExists, Wording wording) {
  const bool zh = wording == Wording::Chinese;
  const std::string count = std::to_string(sectors), from = std::to_string(job.targetStartSector);
  std::string overwrites;
  if (job.toDisk)
    overwrites = zh ? "该操作可能破坏目标磁盘：将改写 " + targetText + " 从第 " + from + " 扇区起的 " + count + " 个扇区"
                    : "该操作可能破坏目标磁盘: this overwrites " + count + " sector(s) of " + targetText +
                          " from sector " + from;
  else if (targetFileExists)
    overwrites = (zh ? "此操作将替换文件 " : "this replaces the file ") + job.targetFile;
  if (!job.mapfile.empty() && mapfileExists) {
    if (overwrites.empty()) overwrites = zh ? "此操作将替换映射文件 " : "this replaces the mapfile ";
    else overwrites += zh ? "，并替换映射文件 " : " and the mapfile ";
    overwrites += job.mapfile;
  }
  if (overwrites.empty()) return std::nullopt;
  return Question{Question::Kind::ConfirmWrite, overwrites + goOn(wording), ""};
}

Question replaceFileQuestion(const std::string& path) {
  return {Question::Kind::ReplaceFile, "'" + path + "' exists. Replace it?", path};
}

}  // namespace dudorazu
