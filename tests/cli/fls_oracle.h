#pragma once
// The Sleuth Kit's `fls -r -p` listing saved next to an exFAT fixture: the
// files and folders it names, live and deleted, with their paths.
#include <sstream>
#include <string>
#include <vector>

namespace dudorazu::test {

struct FlsEntry {
  std::string path;  // "/" + the path fls prints
  bool folder = false;
  bool deleted = false;
};

// Lines look like "d/d * 771:\t文档/草稿". Virtual entries ($MBR, $FAT1,
// $OrphanFiles), the bitmap, the up-case table and the label entry are no
// files and are left out.
inline std::vector<FlsEntry> parseFlsListing(const std::string& text) {
  std::vector<FlsEntry> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos || line.size() < 4) continue;
    std::string name = line.substr(tab + 1);
    char kind = line[0];
    if (kind == 'v' || kind == 'V' || name.empty() || name[0] == '$') continue;
    if (name.find("(Volume Label Entry)") != std::string::npos) continue;
    if (name.rfind("$OrphanFiles", 0) == 0) continue;
    FlsEntry e;
    e.path = "/" + name;
    e.folder = kind == 'd';
    e.deleted = line.find(" * ") < tab;
    out.push_back(e);
  }
  return out;
}

}  // namespace dudorazu::test
