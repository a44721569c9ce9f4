#pragma once
// What a save tells its user: the line naming a file that was not saved
// whole or as its entry records, and the closing report of a save.
#include <string>
#include <vector>

#include "core/recovery/save_engine.h"

namespace dudorazu {

// "failed: ...", "partial: ...", "damaged: ...", "short: ...",
// "overwritten: ...", "guessed: ...", "carved: ...", "carved (end guessed):
// ...", "incomplete: ..." (several lines when more than one holds); empty for
// a file saved whole. Every carve has its line. A dry run's lines begin with
// "would be".
std::string savedFileProblem(const SavedFile& file, bool dryRun = false);

// The desktop program's closing text of a save: what was written, how many
// files hold other files' clusters, guessed ones or unreadable ones, then
// each problem line, those of one kind together, the worst kind first.
std::string saveReportText(const SaveTotals& totals, const std::vector<std::string>& problems, bool stopped);

}  // namespace dudorazu
