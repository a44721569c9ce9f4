#pragma once
// Test images live compressed in tests/fixtures/*.zst and are unpacked once
// into the build tree on first use.
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

}  // namespace dudorazu::test
