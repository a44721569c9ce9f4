#include "core/recovery/save_report.h"

#include <cinttypes>

#include "core/common/text.h"
#include "core/exfat/record_walk.h"

namespace dudorazu {

std::string savedFileProblem(const SavedFile& f, bool dryRun) {
  const ExfatFileRecord& r = *f.record;
  const std::string from = printableText(recordPath(r));
  const std::string to = " -> " + printableText(f.outputPath);
  if (f.failed && !f.partial) return "failed: " + from + (f.created ? " (write error)" : " (cannot create the output file)");
  if (f.partial)
    return "partial: " + from + to + format(" (%s after %" PRIu64 " of %" PRIu64 " bytes)",
                                            f.cancelled ? "interrupted" : "write error", f.bytesWritten, r.dataLength);
  if (f.cancelled) return "partial: " + from + " (interrupted)";
  std::string line;
  if (f.beyondVolume)
    line = "damaged: " + from + to + format(" (records %" PRIu64 " bytes, more than the volume holds; %" PRIu64 " saved)",
                                            r.dataLength, f.bytesWritten);
  else if (f.damaged)
    line = "damaged: " + from + to + format(" (%zu unreadable runs saved as zeros)", f.unreadable.size());
  else if (f.shortened)
    line = "short: " + from + to + format(" (%" PRIu64 " of %" PRIu64 " bytes; no more data clusters)", f.bytesWritten,
                                          r.dataLength);
  auto add = [&](const std::string& more) { line += (line.empty() ? "" : "\n") + more; };
  if (f.overwrittenBytes != 0)
    add("overwritten: " + from + to + format(" (%" PRIu64 " of %" PRIu64 " bytes read from clusters now in use by "
                                             "other files)", f.overwrittenBytes, f.bytesWritten));
  if (f.guessed) add("guessed: " + from + to + " (the clusters after its chain's end that are free)");
  if (r.carve == kCarvedToWindowLimit) add("incomplete: " + from + to + " (carved; no end marker within the window)");
  else if (r.carve == kCarvedLengthEstimated) add("carved: " + from + to + " (found by content; length from its header)");
  else if (r.carve != kNotCarved) add("carved: " + from + to + " (found by content; ends at its end marker)");
  if (dryRun && !line.empty()) {
    // Each line names something of its own: none may read as done.
    for (size_t at = line.size(); at-- > 0;)
      if (line[at] == '\n') line.insert(at + 1, "would be ");
    line = "would be " + line;
  }
  return line;
}

std::string saveReportText(const SaveTotals& totals, const std::vector<std::string>& problems, bool stopped) {
  std::string text = format("已保存 %" PRIu64 " 个文件，%" PRIu64 " 字节。", totals.files, totals.bytes);
  if (totals.overwritten)
    text += format("\n其中 %" PRIu64 " 个文件的簇已被其他文件占用，保存的内容可能含有其他文件的数据。", totals.overwritten);
  if (totals.guessed)
    text += format("\n其中 %" PRIu64 " 个文件的后续簇是按空闲簇推测的，内容可能不属于该文件。", totals.guessed);
  if (stopped) text += "\n保存已停止，未保存的文件不在其中。";
  if (!problems.empty()) {
    text += format("\n以下 %zu 个文件未完整保存或需核对：", problems.size());
    for (const std::string& line : problems) text += "\n" + line;
  }
  return text;
}

}  // namespace dudorazu
