#include "support/fixtures.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

bool underCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

}  // namespace dudorazu::test
