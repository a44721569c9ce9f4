#include "core/recovery/save_report.h"

#include <algorithm>
#include <cinttypes>
#include <iterator>
#include <string_view>

#include "core/common/text.h"
#include "core/exfat/carve_signatures.h"
#include "core/exfat/record_walk.h"
#include "core/exfat/recoverability.h"

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
  else if (f.damaged && f.unreadable.empty())
    line = "damaged: " + from + to + format(" (%" PRIu64 " bytes lie where the disk could not be read; saved as it "
                                            "gives them)", f.damagedBeforeBytes);
  else if (f.damaged)
    line = "damaged: " + from + to + format(" (%zu unreadable runs saved as zeros)", f.unreadable.size());
  else if (f.shortened)
    line = "short: " + from + to + format(" (%" PRIu64 " of %" PRIu64 " bytes; %s)", f.bytesWritten, r.dataLength,
                                          hasRecoverability(r, kUnreachable) ? "its data starts or goes on outside the volume"
                                                                             : "no more data clusters");
  auto add = [&](const std::string& more) { line += (line.empty() ? "" : "\n") + more; };
  if (f.overwrittenBytes != 0)
    add("overwritten: " + from + to + format(" (%" PRIu64 " of %" PRIu64 " bytes read from clusters now in use by "
                                             "other files)", f.overwrittenBytes, f.bytesWritten));
  if (f.guessed && f.decodedGuess)
    add("guessed: " + from + to + " (its chain was cleared; the free clusters where its JPEG data decodes on to its end)");
  else if (f.guessed)
    add("guessed: " + from + to + " (the clusters after its chain's end that are free)");
  // No carve is saved whole for certain: each is named.
  switch (r.carve) {
    case kNotCarved: break;
    case kCarvedIncomplete:
      add("incomplete: " + from + to + " (carved; cut short where its data breaks off, or no end marker was found)");
      break;
    case kCarvedLengthEstimated: add("carved: " + from + to + " (found by content; length from its header)"); break;
    case kCarvedEndGuessed:
      add("carved (end guessed): " + from + to + " (found by content; ends at an end marker found by searching, its data "
          "unverified)");
      break;
    case kCarvedThroughFreeClusters:
      if (isWalkedByStructure(r.carveFormat))
        add("guessed: " + from + to + " (carved; its structure broke off and goes on to its end in free clusters "
            "chosen for it)");
      else
        add("guessed: " + from + to + " (carved; its data broke off and decodes on to its end marker in free clusters "
            "chosen for it)");
      break;
    case kCarvedToStructureEnd:
      add("carved: " + from + to + " (found by content; its own structure walked to its end)");
      break;
    default: add("carved: " + from + to + " (found by content; its data decodes whole up to its end marker)"); break;
  }
  if (dryRun && !line.empty()) {
    // Each line names something of its own: none may read as done.
    for (size_t at = line.size(); at-- > 0;)
      if (line[at] == '\n') line.insert(at + 1, "would be ");
    line = "would be " + line;
  }
  return line;
}

namespace {

// Where a problem line's kind stands in the report: the worst first, so the
// files of one state stand together.
size_t kindRank(const std::string& line) {
  static const char* const kinds[] = {"failed", "partial", "damaged", "short", "overwritten",
                                      "guessed", "incomplete", "carved (end guessed)", "carved"};
  const std::string_view text = std::string_view(line).substr(line.rfind("would be ", 0) == 0 ? 9 : 0);
  for (size_t k = 0; k < std::size(kinds); ++k)
    if (text.rfind(std::string(kinds[k]) + ":", 0) == 0) return k;
  return std::size(kinds);
}

}  // namespace

std::string saveReportText(const SaveTotals& totals, const std::vector<std::string>& problems, bool stopped) {
  std::string text = format("已保存 %" PRIu64 " 个文件，%" PRIu64 " 字节。", totals.files, totals.bytes);
  if (totals.overwritten)
    text += format("\n其中 %" PRIu64 " 个文件的簇已被其他文件占用，保存的内容可能含有其他文件的数据。", totals.overwritten);
  if (totals.guessed)
    text += format("\n其中 %" PRIu64 " 个文件的后续簇是按空闲簇推测的，内容可能不属于该文件。", totals.guessed);
  if (totals.damaged)
    text += format("\n其中 %" PRIu64 " 个文件有簇位于无法读取的扇区或卷外，保存的内容不完整。", totals.damaged);
  if (stopped) text += "\n保存已停止，未保存的文件不在其中。";
  if (!problems.empty()) {
    text += format("\n以下 %zu 个文件未完整保存或需核对：", problems.size());
    std::vector<const std::string*> grouped;
    for (const std::string& line : problems) grouped.push_back(&line);
    std::stable_sort(grouped.begin(), grouped.end(),
                     [](const std::string* a, const std::string* b) { return kindRank(*a) < kindRank(*b); });
    for (const std::string* line : grouped) text += "\n" + *line;
  }
  return text;
}

}  // namespace dudorazu
