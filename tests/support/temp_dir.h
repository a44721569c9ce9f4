#pragma once
// A scratch folder removed with everything in it when the test ends.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace dudorazu::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes bytes to a file (creating or replacing it).
void writeFile(const std::string& path, const std::string& bytes);
// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);
// `length` bytes of a file from `offset` (fewer at its end).
std::string readRange(const std::string& path, uint64_t offset, size_t length);
// Writes `bytes` at `offset` of `path`, creating it; the file keeps holes.
void writeAt(const std::string& path, uint64_t offset, const std::string& bytes);
// Every path below `root`, relative and sorted, folders ending in "/".
std::vector<std::string> listTree(const std::string& root);
// A private, writable (sparse) copy of fixture image `name` in `dir`.
std::string copyFixture(const TempDir& dir, const std::string& name);

// A UTF-8 path as std::filesystem reads it everywhere, and a path back as UTF-8 with "/".
std::filesystem::path fsPath(const std::string& utf8);
std::string utf8Of(const std::filesystem::path& path);

}  // namespace dudorazu::test
