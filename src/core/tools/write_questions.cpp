#include "core/tools/write_questions.h"

#include "core/common/text.h"

namespace dudorazu {
namespace {

constexpr const char* kGoOn = "\nContinue?";

std::string diskText(const DiskRecord& disk) { return displayName(disk) + " (" + disk.devicePath + ")"; }

}  // namespace

Question rebuildMbrQuestion(const DiskRecord& disk, const std::vector<const RebuildRow*>& rows) {
  std::string text = "this overwrites the partition table in sector 0 of " + diskText(disk) + " with:";
  for (const RebuildRow* r : rows)
    text += format("\n  %s at sector %s, %s", r->system.c_str(), r->startText.c_str(), r->sizeText.c_str());
  return {Question::Kind::ConfirmWrite, text + kGoOn, ""};
}

Question restoreQuestion(const DiskRecord& disk, const BackupContents& contents) {
  std::string sectors;
  for (size_t i = 0; i < contents.offsets.size(); ++i) {
    if (i == 16) {
      sectors += " ...";
      break;
    }
    sectors += ' ';
    sectors += std::to_string(contents.offsets[i] / 512);
  }
  return {Question::Kind::ConfirmWrite,
          "this overwrites " + std::to_string(contents.offsets.size()) + " sector(s) of " + diskText(disk) + ":" +
              sectors + kGoOn,
          ""};
}

std::optional<Question> imagingQuestion(const ImagingJob& job, uint64_t sectors, const std::string& targetText,
                                        bool targetFileExists, bool mapfileExists) {
  std::string overwrites;
  if (job.toDisk)
    overwrites = "该操作可能破坏目标磁盘: this overwrites " + std::to_string(sectors) + " sector(s) of " + targetText +
                 " from sector " + std::to_string(job.targetStartSector);
  else if (targetFileExists)
    overwrites = "this replaces the file " + job.targetFile;
  if (!job.mapfile.empty() && mapfileExists)
    overwrites += (overwrites.empty() ? "this replaces the mapfile " : " and the mapfile ") + job.mapfile;
  if (overwrites.empty()) return std::nullopt;
  return Question{Question::Kind::ConfirmWrite, overwrites + kGoOn, ""};
}

Question replaceFileQuestion(const std::string& path) {
  return {Question::Kind::ReplaceFile, "'" + path + "' exists. Replace it?", path};
}

}  // namespace dudorazu
