#include "support/temp_dir.h"

#include "support/fixtures.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace dudorazu::test {

TempDir::TempDir() {
  // A fresh name made by this call alone (create_directory is false when
  // the folder was there already).
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

std::string copyFixture(const TempDir& dir, const std::string& name) {
  // Copied in-process, all-zero stretches left as holes, so the same test
  // runs as a Windows program.
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
