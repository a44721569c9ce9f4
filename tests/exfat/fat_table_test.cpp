// The FAT kept in stretches reads back every entry as loaded and as changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/exfat/fat_table.h"

namespace dudorazu {
namespace {

TEST(FatTable, EveryEntryReadsBackAsLoadedAndAsChanged) {
  const size_t page = FatTable::kPageEntries;
  std::vector<uint32_t> model(4 * page + 100, 0);  // zeros, a run, a chain, a run, a short tail
  for (size_t c = page; c < 2 * page; ++c) model[c] = static_cast<uint32_t>(c + 1);
  for (size_t c = 2 * page; c < 3 * page; c += 3) model[c] = 0xFFFFFFFF;
  for (size_t c = 3 * page; c < 4 * page; ++c) model[c] = static_cast<uint32_t>(c + 1);
  for (size_t c = 4 * page; c < model.size(); ++c) model[c] = static_cast<uint32_t>(c + 1);
  FatTable fat;
  for (size_t c = 0; c < model.size(); c += page) fat.appendPage(&model[c], std::min(page, model.size() - c));
  // Changes inside a zero page, a run (the entries around stay n + 1), a
  // chain page and the tail.
  for (size_t c : {size_t{5}, page + 7, 2 * page + 1, 3 * page + page - 1, 4 * page + 99}) {
    model[c] = 0x0BADF00D;
    fat[c] = 0x0BADF00D;
  }
  ASSERT_EQ(fat.size(), model.size());
  for (size_t c = 0; c < model.size(); ++c) ASSERT_EQ(fat[c], model[c]) << "entry " << c;
  const FatTable copy = fat;
  EXPECT_EQ(copy[page + 8], page + 9);
}

}  // namespace
}  // namespace dudorazu
