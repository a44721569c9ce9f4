#pragma once
// The questions asked before a tool writes to a disk or replaces a file.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/common/messages.h"
#include "core/device/disk_record.h"
#include "core/tools/disk_imaging.h"
#include "core/tools/mbr_rebuild.h"
#include "core/tools/partition_table_restore.h"

namespace dudorazu {

// The terminal asks in English, the windows in Chinese.
enum class Wording { English, Chinese };

// Before sector 0 is written with one primary entry for each row.
Question rebuildMbrQuestion(const DiskRecord& disk, const std::vector<const RebuildRow*>& rows,
                            Wording wording = Wording::English);
// Before the sectors of a table backup are written back (the first 16 named).
Question restoreQuestion(const DiskRecord& disk, const BackupContents& contents, Wording wording = Wording::English);
// Before an imaging run overwrites `sectors` sectors of the target disk
// (`targetText` names it), or replaces an existing image file or mapfile;
// none when it overwrites nothing.
std::optional<Question> imagingQuestion(const ImagingJob& job, uint64_t sectors, const std::string& targetText,
                                        bool targetFileExists, bool mapfileExists, Wording wording = Wording::English);
// Before an output file that exists is replaced.
Question replaceFileQuestion(const std::string& path);

}  // namespace dudorazu
