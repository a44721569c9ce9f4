#pragma once
// Names read from a volume become file and folder names on the target. They
// may hold anything a directory entry can: separators, "..", control bytes,
// or nothing at all. These rules make every name a single safe component.
#include <cstdint>
#include <string>

#include "core/exfat/exfat_file_record.h"

namespace dudorazu {

struct NameOptions {
  uint32_t enabled = 1;
  std::string replacement = "$";
};

// The options every save passes.
inline NameOptions saveNameOptions() { return NameOptions{1, "$"}; }

// Longest name component the target accepts, in bytes.
inline constexpr size_t kMaxNameBytes = 255;

// Rewrites `name` in place: invalid UTF-8 becomes U+FFFD; with options
// enabled, ? / : * \ " < > | are replaced (in that order) by the
// replacement text; whatever the options, "/" and control characters are
// replaced, "." and ".." get their dots replaced, a device name of the
// target system (CON, NUL.txt on Windows) gets the replacement after its
// stem, and the name is cut to
// kMaxNameBytes at a character boundary, keeping a short extension. An
// empty name stays empty. Always true.
bool sanitizeName(std::string& name, const NameOptions& options);

// The component a record is saved under: its sanitized name, or, when that
// is empty, its first cluster in decimal.
std::string outputNameFor(const ExfatFileRecord& record, const NameOptions& options);

}  // namespace dudorazu
