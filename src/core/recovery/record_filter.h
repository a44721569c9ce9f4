#pragma once
// Which files of a save a user wants: by state, by name pattern and by
// extension. Folders are not tested; they come into being when a file
// below them is saved.
#include <string>
#include <vector>

#include "core/exfat/recoverability.h"

namespace dudorazu {

// "*" any run of characters, "?" exactly one character; letters compare
// without case (ASCII letters).
bool wildcardMatch(const std::string& pattern, const std::string& text);

// "jpg;doc", "jpg, .DOC" -> {"jpg", "doc"}: split at ";", "," and spaces,
// leading dots dropped, lower case.
std::vector<std::string> parseExtensionList(const std::string& list);

// Patterns separated by ";" (as in "*r*me.t?t;*jp*").
std::vector<std::string> parsePatternList(const std::string& list);

// Masks of worst recoverability states (recoverabilityBit of each) for
// RecordFilter::recoverability and SearchCriteria::recoverability.
inline constexpr uint8_t kOnlyIntact = recoverabilityBit(kIntact);
inline constexpr uint8_t kOnlyAtRisk = static_cast<uint8_t>(((1u << kRecoverabilityCount) - 1) & ~kOnlyIntact);

// Whether the record's worst state is one of `mask`; every record for 0.
inline bool recoverabilityWanted(uint8_t mask, const ExfatFileRecord& record) {
  return mask == 0 || (mask & recoverabilityBit(worstRecoverability(record))) != 0;
}

struct RecordFilter {
  enum class State { Any, Deleted, Live };
  State state = State::Any;
  std::vector<std::string> namePatterns;  // any one must match the name
  std::vector<std::string> extensions;    // any one must equal the extension
  uint8_t recoverability = 0;             // worst states wanted (kOnlyIntact, ...); 0: any

  bool empty() const {
    return state == State::Any && namePatterns.empty() && extensions.empty() && recoverability == 0;
  }
  bool matches(const ExfatFileRecord& record) const;
};

}  // namespace dudorazu
