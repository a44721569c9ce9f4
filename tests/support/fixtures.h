#pragma once
// Test images live compressed in tests/fixtures/*.zst and are unpacked once
// into the build tree on first use.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

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

// A command-line run: its exit status and what it printed.
struct CliRun {
  int status = -1;
  std::string out;
};
// Runs dudorazu-cli with `args` (shell words) and no terminal on stdin;
// stderr joins stdout unless `withStderr` is false. A run that would hang
// is stopped after 60 s (status 124).
CliRun runCli(const std::string& args, bool withStderr = true);
// runCli whose exit status must be `status` and whose output must hold each
// of `says` (a piece starting with "^" must open it); returns the run.
CliRun expectCli(const std::string& args, int status, const std::vector<std::string>& says = {},
                 bool withStderr = true);

inline bool contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

// For helpers that return a value: ends the calling test with `what` when
// `condition` does not hold (the test framework reports the exception), so
// nothing goes on to use a value that is not there.
void require(bool condition, const std::string& what);

// SHA-256 of a file's bytes from `offset`, `length` of them (to its end
// by default), as 64 hexadecimal digits.
std::string sha256OfFile(const std::string& path, uint64_t offset = 0, uint64_t length = UINT64_MAX);

// Each file a fixture's sums list ("sum /path" or "sum length /path") whose
// path holds `prefix` was saved below `root` with those bytes.
void expectSavedAsListed(const std::string& sumsFixture, const std::string& root, const std::string& prefix = "/");
// The same as a list of what differs (empty when all is as listed), for
// tests outside GoogleTest.
std::vector<std::string> savedUnlikeListed(const std::string& sumsFixture, const std::string& root,
                                           const std::string& prefix = "/");

// True when this process may set up loop devices (root and losetup present).
bool canUseLoopDevices();

// A loop device over a file, made with losetup `options` ("-r", "-o N"...)
// and detached when it goes; its path is empty when losetup failed.
class LoopDevice {
 public:
  explicit LoopDevice(const std::string& file, const std::string& options = "");
  ~LoopDevice();
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

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
