#include "core/tools/imaging_form.h"

#include "core/common/text.h"
#include "core/tools/tool_messages.h"

namespace dudorazu {
namespace {

// Start sectors are signed 64-bit decimals in the dialog; a negative one
// would reach in front of the chosen partition, so it is not accepted.
bool parseStart(const std::string& text, uint64_t& value) { return parseDecimal(text, value, INT64_MAX); }

}  // namespace

std::string imagingFormProblem(const ImagingForm& form) {
  uint64_t ignored = 0;
  if (form.source.empty()) return "请选择源磁盘信息";
  if (form.sectorCount.empty()) return "请填写源磁盘镜像大小";
  if (!parseStart(form.sourceStart, ignored)) return "请填写源磁盘镜像起始扇区";
  if (!form.toDisk) {
    if (form.filePath.empty()) return "请选择目标文件路径";
  } else {
    if (form.target.empty()) return "请选择目标磁盘信息";
    if (!parseStart(form.targetStart, ignored)) return "请填写目标磁盘镜像起始扇区";
  }
  if ((form.withMapfile || form.resume) && form.mapfile.empty()) return kMsgChooseMapfile;
  return "";
}

std::optional<ImagingJob> imagingJobFromForm(DiskCatalogue& catalogue, const ImagingForm& form, MessageSink& messages) {
  std::string problem = imagingFormProblem(form);
  if (!problem.empty()) {
    messages.show(problem, kCaptionError);
    return std::nullopt;
  }
  ImagingJob job;
  job.source = resolveEndpoint(catalogue, form.source);
  parseStart(form.sourceStart, job.sourceStartSector);
  job.toDisk = form.toDisk;
  if (form.toDisk) {
    job.target = resolveEndpoint(catalogue, form.target);
    parseStart(form.targetStart, job.targetStartSector);
  } else {
    job.targetFile = form.filePath;
  }
  if (form.withMapfile || form.resume) job.mapfile = form.mapfile;
  job.resume = form.resume;
  job.retryPasses = form.retryPasses;
  job.reverse = form.reverse;
  job.scrape = form.scrape;
  return job;
}

}  // namespace dudorazu
