#pragma once
// The imaging dialog's fields as texts, the checks made when "开始" is
// pressed, and the job they describe.
#include <optional>
#include <string>

#include "core/common/messages.h"
#include "core/tools/disk_imaging.h"

namespace dudorazu {

struct ImagingForm {
  std::string source;       // endpoint text
  std::string sectorCount;  // display only, but must be filled
  std::string sourceStart;
  bool toDisk = true;
  std::string filePath;     // file mode
  std::string target;       // disk mode: endpoint text
  std::string targetStart;  // disk mode
  bool withMapfile = false;  // a ddrescue mapfile beside the copy
  std::string mapfile;
  bool resume = false;  // go on from the existing copy and its mapfile
  int retryPasses = 0;
  bool reverse = false;
  bool scrape = true;
};

// The message of the first check that fails, in the dialog's order, or an
// empty text when the copy may start (in disk mode the front end still asks
// "该操作可能破坏目标磁盘" first). A start sector that is not a decimal
// number of sectors counts as not filled in. A mapfile asked for, or a copy
// that goes on from one, needs its path ("请选择映射文件路径").
std::string imagingFormProblem(const ImagingForm& form);

// The job of a form: shows the failing check's message (caption "error")
// and returns nullopt, or resolves the endpoints in `catalogue`.
std::optional<ImagingJob> imagingJobFromForm(DiskCatalogue& catalogue, const ImagingForm& form, MessageSink& messages);

}  // namespace dudorazu
