#pragma once
// Every subcommand of dudorazu-cli. Each takes the arguments after its name
// and returns the exit status: 0 success, 1 failure, 2 usage error.
#include <string>
#include <vector>

namespace dudorazu::cli {

using Args = std::vector<std::string>;

int cmdDisks(Args args);
int cmdTree(Args args);
int cmdScanLost(Args args);
int cmdRecover(Args args);
int cmdStats(Args args);
int cmdSearch(Args args);
int cmdUpcaseScan(Args args);
int cmdRebuildMbr(Args args);
int cmdPtBackup(Args args);
int cmdPtRestore(Args args);
int cmdImage(Args args);

}  // namespace dudorazu::cli
