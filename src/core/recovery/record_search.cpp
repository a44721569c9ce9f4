#include "core/recovery/record_search.h"

#include "core/recovery/record_filter.h"

namespace dudorazu {
namespace {

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The text after the name's last dot; none for a name without one or one
// that begins with its only dot.
std::string extensionOf(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : lower(name.substr(dot + 1));
}

bool nameMatches(const SearchCriteria& c, const std::string& name) {
  switch (c.mode) {
    case SearchCriteria::Mode::Name: {
      if (c.text.empty()) return true;
      std::string n = lower(name), t = lower(c.text);
      return c.wholeMatch ? n == t : n.find(t) != std::string::npos;
    }
    case SearchCriteria::Mode::Extensions: {
      std::vector<std::string> list = parseExtensionList(c.text);
      if (list.empty()) return true;
      std::string ext = extensionOf(name);
      for (const std::string& e : list)
        if (c.wholeMatch ? ext == e : ext.compare(0, e.size(), e) == 0) return true;
      return false;
    }
    case SearchCriteria::Mode::Patterns: {
      std::vector<std::string> list = parsePatternList(c.text);
      if (list.empty()) return true;
      for (std::string p : list) {
        p.erase(0, p.find_first_not_of(' '));
        p.erase(p.find_last_not_of(' ') + 1);
        if (p.empty()) continue;
        if (wildcardMatch(c.wholeMatch ? p : "*" + p + "*", name)) return true;
      }
      return false;
    }
  }
  return false;
}

}  // namespace

bool searchMatches(const SearchCriteria& c, const ExfatFileRecord& record) {
  if (record.isDeleted() ? !c.deleted : !c.live) return false;
  if (record.isFolder() ? !c.folders : record.isFile() ? !c.files : true) return false;
  if (!recoverabilityWanted(c.recoverability, record)) return false;
  return nameMatches(c, record.name);
}

std::vector<ExfatFileRecord*> searchRecords(ExfatFileRecord& top, const SearchCriteria& criteria,
                                            ProgressBlock* progress) {
  std::vector<ExfatFileRecord*> hits;
  // A work list instead of recursion: folder depth comes from the disk.
  std::vector<std::pair<std::list<ExfatFileRecord>::iterator, std::list<ExfatFileRecord>::iterator>> stack;
  stack.emplace_back(top.children.begin(), top.children.end());
  while (!stack.empty()) {
    auto& [at, end] = stack.back();
    if (at == end) {
      stack.pop_back();
      continue;
    }
    if (progress && progress->cancelled()) break;
    ExfatFileRecord& record = *at++;
    if (searchMatches(criteria, record)) hits.push_back(&record);
    if (!record.children.empty()) stack.emplace_back(record.children.begin(), record.children.end());
  }
  return hits;
}

}  // namespace dudorazu
