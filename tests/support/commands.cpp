// Shell commands for oracles and loop devices; not in the Windows test set.
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>

#include "support/fixtures.h"

namespace dudorazu::test {
int runCommand(const std::string& command, std::string* output) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 65536> buf{};
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) {
    if (output) output->append(buf.data(), n);
  }
  int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool canUseLoopDevices() {
  return ::geteuid() == 0 && haveTool("losetup") && ::access("/dev/loop-control", F_OK) == 0;
}

bool haveTool(const std::string& tool) {
  return runCommand("command -v '" + tool + "' >/dev/null 2>&1") == 0;
}

}  // namespace dudorazu::test
