#include "core/recovery/name_repair.h"

#include <algorithm>

#include "core/common/text.h"
#include "platform/files.h"

namespace dudorazu {
namespace {

void replaceAll(std::string& s, char c, const std::string& with) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    if (ch == c) out += with;
    else out.push_back(ch);
  }
  s.swap(out);
}

// The text used by the rules that hold whatever the options say; it must not
// itself bring back what those rules remove.
std::string safeReplacement(const NameOptions& options) {
  const std::string& r = options.replacement;
  if (r.empty()) return "$";
  for (unsigned char c : r)
    if (c == '/' || c < 0x20 || c == 0x7F) return "$";
  return r;
}

// Start of the UTF-8 character holding byte `i` (a continuation byte is
// never a place to cut).
size_t characterStart(const std::string& s, size_t i) {
  while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
  return i;
}

void cutToLimit(std::string& name) {
  if (name.size() <= kMaxNameBytes) return;
  std::string ext;
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0 && name.size() - dot <= 16) ext = name.substr(dot);
  size_t keep = characterStart(name, kMaxNameBytes - ext.size());
  name = name.substr(0, keep) + ext;
}

}  // namespace

bool sanitizeName(std::string& name, const NameOptions& options) {
  // On this platform names are UTF-8 already; the round trip through the
  // code page that the name went through on Windows reduces to mending
  // invalid sequences.
  name = sanitizeUtf8(name);
  if (options.enabled) {
    for (char c : {'?', '/', ':', '*', '\\', '"', '<', '>', '|'}) replaceAll(name, c, options.replacement);
  }
  const std::string safe = safeReplacement(options);
  std::string out;
  out.reserve(name.size());
  for (char ch : name) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '/' || c < 0x20 || c == 0x7F) out += safe;
    else out.push_back(ch);
  }
  name.swap(out);
  if (name == "." || name == "..") replaceAll(name, '.', safe);
  // A device name of the target system gets the replacement after its stem:
  // "con.txt" is saved as "con$.txt".
  if (platform::reservedFileName(name)) name.insert(std::min(name.find('.'), name.size()), safe);
  cutToLimit(name);
  return true;
}

std::string outputNameFor(const ExfatFileRecord& record, const NameOptions& options) {
  std::string name = record.name;
  sanitizeName(name, options);
  if (name.empty()) name = format("%u", record.firstCluster);
  return name;
}

}  // namespace dudorazu
