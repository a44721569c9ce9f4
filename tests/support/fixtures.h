#pragma once
// Fixture images (tests/fixtures/*.zst, unpacked once into the build tree), the CLI and shell tools.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace dudorazu::test {

// Path of the unpacked fixture `name` ("exfat-small.img"); fails the test when missing.
std::string fixtureImage(const std::string& name);
// Text of a plain fixture file ("exfat-small.fls.txt"); empty when missing.
std::string fixtureText(const std::string& name);
// Path of the built dudorazu-cli.
std::string cliPath();
// Runs a shell command; returns its exit status and fills `output` with stdout.
int runCommand(const std::string& command, std::string* output = nullptr);
struct CliRun {
  int status = -1;
  std::string out;
};
// Runs dudorazu-cli with `args` (shell words; stdin closed, stderr joined unless not `withStderr`, 60 s at
// most); its status must be `status` and its output hold each of `says` ("^": at its start).
CliRun expectCli(const std::string& args, int status, const std::vector<std::string>& says = {},
                 bool withStderr = true);

inline bool contains(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

// Ends the calling test with `what` (thrown) unless `condition` holds.
void require(bool condition, const std::string& what);

// SHA-256 (hex) of `length` bytes of a file from `offset` (to its end by default).
std::string sha256OfFile(const std::string& path, uint64_t offset = 0, uint64_t length = UINT64_MAX);

// Each file a sums fixture lists ("sum [length] /path") under `prefix` is saved below `root` with those bytes
// (savedUnlikeListed: what differs, for tests outside GoogleTest).
void expectSavedAsListed(const std::string& sumsFixture, const std::string& root, const std::string& prefix = "/");
std::vector<std::string> savedUnlikeListed(const std::string& sumsFixture, const std::string& root,
                                           const std::string& prefix = "/");

// True when this process may set up loop devices (root and losetup present).
bool canUseLoopDevices();
// A loop device over a file (losetup `options`), detached when it goes; empty path when losetup failed.
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

// An exFAT volume of `file` from byte `offset` on, mounted read-only at
// `mountPoint` (made here) through a loop device and the FUSE driver, as
// a card being recovered may be; unmounted and detached when it goes.
// Empty path when mounting failed.
class MountedVolume {
 public:
  MountedVolume(const std::string& file, uint64_t offset, const std::string& mountPoint);
  ~MountedVolume();
  MountedVolume(const MountedVolume&) = delete;
  MountedVolume& operator=(const MountedVolume&) = delete;
  const std::string& path() const { return path_; }

 private:
  LoopDevice loop_;
  std::string path_;
};

// True when the command `tool` is on the PATH.
bool haveTool(const std::string& tool);
// True under CI (CI=true), where a missing tool is a fault of the set-up.
bool underCi();

}  // namespace dudorazu::test

// Skips the rest of a test unless `condition` holds; under CI it fails instead. For installed tools only.
#define DUDORAZU_SKIP_UNLESS(condition, why)                    \
  if (condition) {                                              \
  } else if (::dudorazu::test::underCi())                       \
    FAIL() << (why) << " (under CI nothing may be skipped)"; \
  else                                                          \
    GTEST_SKIP() << (why)
