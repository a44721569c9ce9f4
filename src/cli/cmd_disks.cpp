#include "cli/cli_support.h"

namespace dudorazu::cli {

int cmdDisks(Args) {
  printError("disks", "not available yet");
  return 1;
}

}  // namespace dudorazu::cli
