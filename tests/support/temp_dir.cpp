#include "support/temp_dir.h"

#include "support/fixtures.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace dudorazu::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "dudorazu-test-XXXXXX").string();
  char* made = ::mkdtemp(tmpl.data());
  path_ = made ? std::string(made) : std::string();
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
  std::string target = dir.file(name);
  require(runCommand("cp --sparse=always '" + fixtureImage(name) + "' '" + target + "'") == 0,
          "could not copy fixture " + name);
  return target;
}

}  // namespace dudorazu::test
