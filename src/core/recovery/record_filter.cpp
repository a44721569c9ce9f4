#include "core/recovery/record_filter.h"

#include <cstdint>

namespace dudorazu {
namespace {

// Code points of a UTF-8 text, so that "?" stands for one character and not
// for one byte of it.
std::vector<uint32_t> codePoints(const std::string& s) {
  std::vector<uint32_t> out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    if (i + len > s.size()) len = 1;
    uint32_t cp = len == 1 ? c : c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    if (cp >= 'A' && cp <= 'Z') cp += 'a' - 'A';
    out.push_back(cp);
    i += len;
  }
  return out;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::vector<std::string> split(const std::string& list, const std::string& separators) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : list) {
    if (separators.find(c) != std::string::npos) {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

}  // namespace

bool wildcardMatch(const std::string& patternText, const std::string& text) {
  std::vector<uint32_t> p = codePoints(patternText);
  std::vector<uint32_t> t = codePoints(text);
  // Greedy match with one backtrack point: the last "*" seen. Linear in
  // practice, never worse than |p| x |t|.
  size_t pi = 0, ti = 0, star = SIZE_MAX, mark = 0;
  while (ti < t.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == t[ti])) {
      ++pi;
      ++ti;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ti;
    } else if (star != SIZE_MAX) {
      pi = star + 1;
      ti = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

std::vector<std::string> parseExtensionList(const std::string& list) {
  std::vector<std::string> out;
  for (std::string part : split(list, ";, \t")) {
    size_t start = part.find_first_not_of('.');
    if (start == std::string::npos) continue;
    out.push_back(lower(part.substr(start)));
  }
  return out;
}

std::vector<std::string> parsePatternList(const std::string& list) { return split(list, ";"); }

bool RecordFilter::matches(const ExfatFileRecord& record) const {
  if (state == State::Deleted && !record.isDeleted()) return false;
  if (state == State::Live && record.isDeleted()) return false;
  if (!recoverabilityWanted(recoverability, record)) return false;
  if (!namePatterns.empty()) {
    bool any = false;
    for (const std::string& p : namePatterns) any = any || wildcardMatch(p, record.name);
    if (!any) return false;
  }
  if (!extensions.empty()) {
    size_t dot = record.name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = lower(record.name.substr(dot + 1));
    bool any = false;
    for (const std::string& e : extensions) any = any || e == ext;
    if (!any) return false;
  }
  return true;
}

}  // namespace dudorazu
