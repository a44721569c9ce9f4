#include "cli/cli_support.h"

namespace dudorazu::cli {

int cmdSearch(Args) {
  printError("search", "not available yet");
  return 1;
}

int cmdUpcaseScan(Args) {
  printError("upcase-scan", "not available yet");
  return 1;
}

int cmdRebuildMbr(Args) {
  printError("rebuild-mbr", "not available yet");
  return 1;
}

int cmdPtBackup(Args) {
  printError("pt-backup", "not available yet");
  return 1;
}

int cmdPtRestore(Args) {
  printError("pt-restore", "not available yet");
  return 1;
}

int cmdImage(Args) {
  printError("image", "not available yet");
  return 1;
}

}  // namespace dudorazu::cli
