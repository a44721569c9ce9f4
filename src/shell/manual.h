#pragma once
// Where the user manual is: beside an installed program
// (share/doc/dudorazu/manual), or in the source tree of a build.
#include <QString>

namespace dudorazu::shell {

// The manual's first page; empty when no copy is found.
QString manualIndex();

}  // namespace dudorazu::shell
