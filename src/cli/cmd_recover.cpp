#include "cli/cli_support.h"

namespace dudorazu::cli {

int cmdRecover(Args) {
  printError("recover", "not available yet");
  return 1;
}

int cmdStats(Args) {
  printError("stats", "not available yet");
  return 1;
}

}  // namespace dudorazu::cli
