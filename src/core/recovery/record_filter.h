#pragma once
// Which files of a save a user wants: by state, by name pattern and by
// extension. Folders are not tested; they come into being when a file
// below them is saved.
#include <string>
#include <vector>

#include "core/exfat/exfat_file_record.h"

namespace dudorazu {

// "*" any run of characters, "?" exactly one character; letters compare
// without case (ASCII letters).
bool wildcardMatch(const std::string& pattern, const std::string& text);

// "jpg;doc", "jpg, .DOC" -> {"jpg", "doc"}: split at ";", "," and spaces,
// leading dots dropped, lower case.
std::vector<std::string> parseExtensionList(const std::string& list);

// Patterns separated by ";" (as in "*r*me.t?t;*jp*").
std::vector<std::string> parsePatternList(const std::string& list);

struct RecordFilter {
  enum class State { Any, Deleted, Live };
  State state = State::Any;
  std::vector<std::string> namePatterns;  // any one must match the name
  std::vector<std::string> extensions;    // any one must equal the extension

  bool empty() const { return state == State::Any && namePatterns.empty() && extensions.empty(); }
  bool matches(const ExfatFileRecord& record) const;
};

}  // namespace dudorazu
