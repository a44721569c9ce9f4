#include "support/fixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace dudorazu::test {
namespace {

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

std::string fixtureImage(const std::string& name) {
  std::string source = std::string(DUDORAZU_FIXTURE_SOURCE_DIR) + "/" + name + ".zst";
  std::string cache = DUDORAZU_FIXTURE_CACHE_DIR;
  std::string target = cache + "/" + name;
  if (!exists(source)) {
    ADD_FAILURE() << "fixture " << source << " is missing (run make fixtures)";
    return target;
  }
  struct stat src {}, dst {};
  ::stat(source.c_str(), &src);
  if (::stat(target.c_str(), &dst) == 0 && dst.st_mtime >= src.st_mtime) return target;
  std::error_code ignored;
  std::filesystem::create_directories(cache, ignored);
  // Unpack under a private name and rename, so tests running in parallel
  // never see a half-written image.
  std::string partial = target + ".part" + std::to_string(::getpid());
  std::string cmd = "zstd -q -d -f -o '" + partial + "' '" + source + "'";
  if (std::system(cmd.c_str()) != 0 || std::rename(partial.c_str(), target.c_str()) != 0) {
    ADD_FAILURE() << "could not unpack " << source;
  }
  return target;
}

std::string fixtureText(const std::string& name) {
  std::ifstream in(std::string(DUDORAZU_FIXTURE_SOURCE_DIR) + "/" + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string cliPath() { return DUDORAZU_CLI_PATH; }

CliRun runCli(const std::string& args, bool withStderr) {
  CliRun r;
  r.status = runCommand("timeout 60 '" + cliPath() + "' " + args + " </dev/null" +
                            (withStderr ? " 2>&1" : " 2>/dev/null"),
                        &r.out);
  return r;
}

CliRun expectCli(const std::string& args, int status, const std::vector<std::string>& says, bool withStderr) {
  CliRun r = runCli(args, withStderr);
  EXPECT_EQ(r.status, status) << args << "\n" << r.out.substr(0, 4000);
  for (const std::string& piece : says) {
    bool opens = !piece.empty() && piece[0] == '^';
    size_t at = r.out.find(opens ? piece.substr(1) : piece);
    EXPECT_TRUE(opens ? at == 0 : at != std::string::npos) << args << "\nlacks: " << piece << "\n" << r.out.substr(0, 4000);
  }
  return r;
}

void require(bool condition, const std::string& what) {
  if (!condition) throw std::runtime_error(what);
}

std::string sha256OfFile(const std::string& path, uint64_t offset, uint64_t length) {
  std::string out;
  std::string cut = length == UINT64_MAX ? "" : " | head -c " + std::to_string(length);
  runCommand("tail -c +" + std::to_string(offset + 1) + " '" + path + "'" + cut + " | sha256sum", &out);
  return out.substr(0, 64);
}

std::vector<std::string> savedUnlikeListed(const std::string& sumsFixture, const std::string& root,
                                           const std::string& prefix) {
  std::istringstream lines(fixtureText(sumsFixture));
  std::vector<std::string> unlike;
  int checked = 0;
  for (std::string line; std::getline(lines, line);) {
    std::string sum = line.substr(0, 64), path = line.substr(line.rfind(' ') + 1);
    if (!contains(path, prefix)) continue;
    if (::access((root + path).c_str(), F_OK) != 0) unlike.push_back(sumsFixture + ": " + path + " was not made");
    else if (sha256OfFile(root + path) != sum) unlike.push_back(sumsFixture + ": " + path + " differs");
    ++checked;
  }
  if (checked == 0) unlike.push_back(sumsFixture + ": nothing listed under " + prefix);
  return unlike;
}

void expectSavedAsListed(const std::string& sumsFixture, const std::string& root, const std::string& prefix) {
  for (const std::string& line : savedUnlikeListed(sumsFixture, root, prefix)) ADD_FAILURE() << line;
}

LoopDevice::LoopDevice(const std::string& file, const std::string& options) {
  std::string out;
  if (runCommand("losetup -f --show " + options + " '" + file + "' 2>/dev/null", &out) == 0)
    path_ = out.substr(0, out.find('\n'));
}

LoopDevice::~LoopDevice() {
  if (!path_.empty()) runCommand("losetup -d '" + path_ + "'");
}

bool underCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

}  // namespace dudorazu::test
