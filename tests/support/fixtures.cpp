#include "support/fixtures.h"
#include "support/temp_dir.h"
#include "core/recovery/sha256.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace dudorazu::test {
std::string fixtureImage(const std::string& name) {
  std::string source = std::string(DUDORAZU_FIXTURE_SOURCE_DIR) + "/" + name + ".zst";
  std::string cache = DUDORAZU_FIXTURE_CACHE_DIR;
  std::string target = cache + "/" + name;
  struct stat src {}, dst {};
  if (::stat(source.c_str(), &src) != 0) {
    ADD_FAILURE() << "fixture " << source << " is missing (run make fixtures)";
    return target;
  }
  if (::stat(target.c_str(), &dst) == 0 && dst.st_mtime >= src.st_mtime) return target;
  std::error_code ignored;
  std::filesystem::create_directories(cache, ignored);
  // Unpacked under a private name and renamed: parallel tests never see half an image.
  std::string partial = target + ".part" + std::to_string(::getpid());
  std::string cmd = "zstd -q -d -f -o '" + partial + "' '" + source + "'";
  if (std::system(cmd.c_str()) != 0 || std::rename(partial.c_str(), target.c_str()) != 0) {
    ADD_FAILURE() << "could not unpack " << source;
  }
  return target;
}

std::string fixtureText(const std::string& name) {
  return readFile(std::string(DUDORAZU_FIXTURE_SOURCE_DIR) + "/" + name);
}

std::string cliPath() { return DUDORAZU_CLI_PATH; }

CliRun expectCli(const std::string& args, int status, const std::vector<std::string>& says, bool withStderr) {
  CliRun r;
  r.status = runCommand("timeout 60 '" + cliPath() + "' " + args + " </dev/null" +
                            (withStderr ? " 2>&1" : " 2>/dev/null"), &r.out);
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
  // Hashed here rather than by a shell tool, so the Windows test set can use it.
  std::ifstream in(path, std::ios::binary);
  if (!in || !in.seekg(static_cast<std::streamoff>(offset))) return "";
  Sha256 hash;
  std::vector<char> buf(1 << 16);
  while (length > 0 && in) {
    in.read(buf.data(), static_cast<std::streamsize>(std::min<uint64_t>(buf.size(), length)));
    size_t got = static_cast<size_t>(in.gcount());
    if (got == 0) break;
    hash.update(buf.data(), got);
    length -= std::min<uint64_t>(length, got);
  }
  return hash.finishHex();
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

MountedVolume::MountedVolume(const std::string& file, uint64_t offset, const std::string& mountPoint)
    : loop_(file, "-r -o " + std::to_string(offset)) {
  std::error_code ec;
  std::filesystem::create_directories(mountPoint, ec);
  // The driver leaves a daemon behind, which the unmount ends.
  if (!loop_.path().empty() &&
      runCommand("mount.exfat-fuse -o ro '" + loop_.path() + "' '" + mountPoint + "' >/dev/null 2>&1") == 0)
    path_ = mountPoint;
}

MountedVolume::~MountedVolume() {
  if (!path_.empty()) runCommand("umount '" + path_ + "'");
}

bool underCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

// Scratch folders and files.

TempDir::TempDir() {
  // A fresh name made by this call alone (create_directory fails on an existing one).
  static std::atomic<unsigned> serial{0};
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("dudorazu-test-" + std::to_string(random()) + "-" + std::to_string(serial++));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) path_ = candidate.generic_string();
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string readRange(const std::string& path, uint64_t offset, size_t length) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(length, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(length));
  bytes.resize(static_cast<size_t>(in ? length : in.gcount()));
  return bytes;
}

void writeAt(const std::string& path, uint64_t offset, const std::string& bytes) {
  if (!std::filesystem::exists(path)) std::ofstream(path, std::ios::binary);
  std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(static_cast<std::streamoff>(offset));
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> listTree(const std::string& root) {
  std::vector<std::string> out;
  for (auto& e : std::filesystem::recursive_directory_iterator(fsPath(root)))
    out.push_back(utf8Of(std::filesystem::relative(e.path(), fsPath(root))) + (e.is_directory() ? "/" : ""));
  std::sort(out.begin(), out.end());
  return out;
}

std::string copyFixture(const TempDir& dir, const std::string& name) {
  // Copied in-process, zero stretches left as holes, so it runs on Windows too.
  std::string source = fixtureImage(name), target = dir.file(name);
  std::ifstream in(fsPath(source), std::ios::binary);
  std::ofstream out(fsPath(target), std::ios::binary);
  require(in && out, "could not copy fixture " + name);
  std::string chunk(1 << 20, '\0');
  uint64_t size = 0;
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    const size_t n = static_cast<size_t>(in.gcount());
    if (chunk.find_first_not_of('\0', 0) < n) {
      out.seekp(static_cast<std::streamoff>(size));
      out.write(chunk.data(), static_cast<std::streamsize>(n));
    }
    size += n;
  }
  out.close();
  std::filesystem::resize_file(fsPath(target), size);
  require(static_cast<bool>(out), "could not copy fixture " + name);
  return target;
}

std::filesystem::path fsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Of(const std::filesystem::path& path) {
  std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace dudorazu::test
