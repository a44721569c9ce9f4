#pragma once
// Helpers shared by the partition-tool tests: writable copies of the
// fixture images and the disks the catalogue makes of them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/device/disk_catalogue.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu::test {

// A private, writable (sparse) copy of fixture `name` in `dir`.
inline std::string copyFixture(const TempDir& dir, const std::string& name) {
  std::string source = fixtureImage(name);
  std::string target = dir.file(name);
  // Blocks of zeros are passed over, so they stay holes (some images are
  // gibibytes of mostly nothing).
  std::ifstream in(source, std::ios::binary);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  std::vector<char> block(1 << 16);
  std::streamoff length = 0;
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    std::streamsize got = in.gcount();
    if (std::any_of(block.begin(), block.begin() + got, [](char c) { return c != 0; })) {
      out.seekp(length);
      out.write(block.data(), got);
    }
    length += got;
  }
  out.close();
  std::filesystem::resize_file(target, static_cast<uintmax_t>(length));
  EXPECT_TRUE(in.eof() && out) << "could not copy " << source;
  return target;
}

// The disk the catalogue makes of an image file.
inline DiskRecord catalogued(const std::string& path) {
  DiskCatalogue catalogue;
  EXPECT_TRUE(openImageAsDisk(catalogue, path)) << path;
  return catalogue.disks.empty() ? DiskRecord{} : catalogue.disks.front();
}

inline bool pathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// `length` bytes of a file from `offset` (fewer at its end).
inline std::string readRange(const std::string& path, uint64_t offset, size_t length) {
  std::string all(length, '\0');
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(all.data(), static_cast<std::streamsize>(length));
  all.resize(static_cast<size_t>(in.gcount()));
  return all;
}

}  // namespace dudorazu::test
