#include "cli/cli_support.h"

namespace dudorazu::cli {

int cmdTree(Args) {
  printError("tree", "not available yet");
  return 1;
}

int cmdScanLost(Args) {
  printError("scan-lost", "not available yet");
  return 1;
}

}  // namespace dudorazu::cli
