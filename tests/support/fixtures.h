#pragma once
// Test images live compressed in tests/fixtures/*.zst and are unpacked once
// into the build tree on first use.
#include <gtest/gtest.h>

#include <string>

namespace dudorazu::test {

// Path of the unpacked fixture `name` (e.g. "exfat-small.img"), from
// tests/fixtures/<name>.zst. Fails the calling test when it is missing.
std::string fixtureImage(const std::string& name);

// Text of a plain fixture file (expected listings and hashes kept next to the
// images), e.g. "exfat-small.fls.txt"; empty when missing.
std::string fixtureText(const std::string& name);

// Path of the built dudorazu-cli, for end-to-end tests.
std::string cliPath();

// Runs a shell command; returns its exit status and fills `output` with stdout.
int runCommand(const std::string& command, std::string* output = nullptr);

// True when this process may set up loop devices (root and losetup present).
bool canUseLoopDevices();

// True when the command `tool` is on the PATH.
bool haveTool(const std::string& tool);

// True under CI (CI=true in the environment), where every tool a test needs
// has been installed, so a missing one is a fault of the set-up.
bool underCi();

}  // namespace dudorazu::test

// Skips the rest of a test when `condition` does not hold, saying `why`;
// under CI the test fails instead, since a skipped test checks nothing. For
// the tools scripts/install-deps.sh installs, not for root rights.
#define DUDORAZU_SKIP_UNLESS(condition, why)                    \
  if (condition) {                                              \
  } else if (::dudorazu::test::underCi())                       \
    FAIL() << (why) << " (under CI nothing may be skipped)"; \
  else                                                          \
    GTEST_SKIP() << (why)
