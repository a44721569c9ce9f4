#pragma once
// Helpers shared by the partition-tool tests: writable copies of the
// fixture images and the disks the catalogue makes of them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "core/device/disk_catalogue.h"
#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu::test {

// A private, writable (sparse) copy of fixture `name` in `dir`.
inline std::string copyFixture(const TempDir& dir, const std::string& name) {
  std::string source = fixtureImage(name);
  std::string target = dir.file(name);
  EXPECT_EQ(runCommand("cp --sparse=always '" + source + "' '" + target + "'"), 0);
  return target;
}

// The disk the catalogue makes of an image file.
inline DiskRecord catalogued(const std::string& path) {
  DiskCatalogue catalogue;
  EXPECT_TRUE(openImageAsDisk(catalogue, path)) << path;
  return catalogue.disks.empty() ? DiskRecord{} : std::move(catalogue.disks.front());
}

inline bool pathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// `length` bytes of a file from `offset` (fewer at its end).
inline std::string readRange(const std::string& path, uint64_t offset, size_t length) {
  std::string all;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return all;
  all.resize(length);
  std::fseek(f, static_cast<long>(offset), SEEK_SET);
  all.resize(std::fread(all.data(), 1, length, f));
  std::fclose(f);
  return all;
}

}  // namespace dudorazu::test
