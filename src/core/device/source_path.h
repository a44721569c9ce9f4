#pragma once
// How a SOURCE given as a path is named in the catalogue.
#include <string>

namespace dudorazu {

// An existing path made absolute and free of links, so a disk catalogued
// from it carries the same devicePath whatever directory the user is in
// (partition-table backups compare it); other texts unchanged.
std::string canonicalSource(const std::string& text);

}  // namespace dudorazu
