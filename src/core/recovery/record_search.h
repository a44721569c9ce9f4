#pragma once
// Finding records of a loaded partition by name: a part of the name, a list
// of extensions or a list of name patterns with "*" and "?", limited to
// deleted or live entries and to files or folders.
#include <string>
#include <vector>

#include "core/common/progress_block.h"
#include "core/exfat/exfat_file_record.h"

namespace dudorazu {

struct SearchCriteria {
  enum class Mode { Name, Extensions, Patterns };
  Mode mode = Mode::Name;
  std::string text;
  // Name: the whole name equals the text (else it holds it). Extensions: the
  // extension equals one of the list (else it begins with one). Patterns: a
  // pattern covers the whole name (else some part of it).
  bool wholeMatch = false;
  bool deleted = true;
  bool live = true;
  bool files = true;
  bool folders = true;
  // Worst recoverability states wanted (kOnlyIntact: "只显示可完整恢复的文件");
  // 0: any.
  uint8_t recoverability = 0;
};

// Whether `record` meets the criteria. Letters compare without case; an
// empty text or list matches every name.
bool searchMatches(const SearchCriteria& criteria, const ExfatFileRecord& record);

// The records below `top` (not `top` itself) that match, depth first in the
// tree's order. The cancel flag of `progress` (optional) is tested between
// records: the hits until then are returned.
std::vector<ExfatFileRecord*> searchRecords(ExfatFileRecord& top, const SearchCriteria& criteria,
                                            ProgressBlock* progress = nullptr);

}  // namespace dudorazu
