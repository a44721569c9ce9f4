#include "core/exfat/entry_set.h"

#include <gtest/gtest.h>

#include "core/exfat/directory_walk.h"
#include "exfat/test_volume.h"

namespace dudorazu {
namespace {

using test::encodeSet;
using test::fileSet;
using test::folderSet;
using test::SetLayout;

// One folder cluster of 512 bytes decoded on its own (the second half of the
// two-cluster buffer zero), as the lost-file scan decodes found folders.
struct OneCluster {
  std::vector<uint8_t> buffer = std::vector<uint8_t>(1024, 0);
  MemoryDevice device{std::string(1 << 20, '\0')};
  PartitionRecord partition;
  ProgressBlock progress;
  ExfatFileRecord parent;
  uint32_t counter = 0;

  OneCluster() {
    partition.clusterSectors = 1;
    parent.name = "p";
    parent.state = kStateFolder;
  }
  void put(size_t slot, const std::vector<uint8_t>& entries) {
    std::copy(entries.begin(), entries.begin() + std::min(entries.size(), 1024 - 32 * slot), buffer.begin() + 32 * slot);
  }
  void put(size_t slot, const SetLayout& layout) { put(slot, encodeSet(layout)); }
  std::string decode(size_t length = 512) {
    DirectoryWalk walk(device, partition, progress, 1000);
    walk.decodeDirectoryBuffer(buffer.data(), buffer.size(), length, parent);
    counter = walk.directoryCounter;
    return test::childNames(parent);
  }
};

std::string fields(const ExfatFileRecord& r) {
  return r.name + " s" + std::to_string(r.state) + " c" + std::to_string(r.firstCluster) + " l" +
         std::to_string(r.dataLength) + " f" + std::to_string(r.allocationFlags);
}

TEST(EntrySet, RecordsGoToTheFrontInUseAndDeletedFormsMixedAndTheLastStreamCounts) {
  OneCluster c;
  c.put(0, fileSet("live.txt", 10, 100));
  c.put(3, test::deleted(fileSet("gone.txt", 11, 5ull << 30)));  // 4 GiB and more: not truncated
  c.put(6, fileSet("mixed.txt", 12, 300));
  c.buffer[32 * 8] = 0x41;  // in-use primary, deleted name entry after the stream: still one set
  std::vector<uint8_t> twice = encodeSet(fileSet("twice", 7, 1));
  std::vector<uint8_t> stream2(twice.begin() + 32, twice.begin() + 64);
  putLe32(stream2.data(), 20, 77);
  putLe64(stream2.data(), 24, 7777);
  stream2[1] = 1;
  twice.insert(twice.end(), stream2.begin(), stream2.end());
  twice[1] = 3;
  c.put(9, twice);
  EXPECT_EQ(c.decode(), "twice,mixed.txt,gone.txt,live.txt");
  EXPECT_EQ(fields(*test::childNamed(c.parent, "gone.txt")),
            "gone.txt s" + std::to_string(kStateDeletedFile) + " c11 l5368709120 f3");
  EXPECT_EQ(fields(*test::childNamed(c.parent, "twice")), "twice s" + std::to_string(kStateFile) + " c77 l7777 f1");
  EXPECT_EQ(test::childNamed(c.parent, "gone.txt")->parent, &c.parent);
  EXPECT_EQ(test::childNamed(c.parent, "live.txt")->state, kStateFile);
  EXPECT_EQ(c.partition.clusterIndex.size(), 4u);
}

TEST(EntrySet, StartRuleAndSecondaryCountLimit) {
  OneCluster c;
  std::vector<uint8_t> bad = encodeSet(fileSet("a", 5)), bad2 = encodeSet(test::deleted(fileSet("b", 6)));
  bad[32] = 0x40;  // an in-use file entry followed by a deleted stream entry
  bad2[32] = 0xC0;
  c.put(0, bad);
  c.put(3, bad2);
  c.put(6, fileSet(std::string(255, 'x')));  // 17 name entries + stream
  EXPECT_EQ(c.decode(), std::string(255, 'x'));

  OneCluster d;
  SetLayout nineteen = fileSet("nineteen");
  nineteen.secondaryCount = 19;
  d.put(0, nineteen);
  EXPECT_EQ(d.decode(), "") << "a SecondaryCount of 19 is no set";

  // Called directly, a count of 255 over 254 full name entries keeps the
  // name to what a set can hold.
  std::vector<uint8_t> hostile(256 * 32, 0);
  hostile[0] = kTypeFile;
  hostile[1] = 255;
  hostile[32] = kTypeStream;
  for (size_t at = 64; at < hostile.size(); at += 32) {
    hostile[at] = kTypeName;
    for (size_t k = 0; k < 15; ++k) hostile[at + 2 + 2 * k] = 'y';
  }
  uint32_t folders = 0;
  DecodedSet set = decodeEntrySet(hostile.data(), hostile.size(), 0, d.parent, d.partition, d.progress, folders);
  ASSERT_NE(set.record, nullptr);
  EXPECT_EQ(set.record->name, std::string(18 * 15, 'y'));
  EXPECT_EQ(set.slots, 256u);
}

// Names come from 15-unit pieces, converted once per name so that a
// surrogate pair split across pieces stays one character; a set running past
// the two-cluster buffer (from slot 15 of 512 bytes) is read up to its end.
TEST(EntrySet, NamesAreAssembledFromFifteenUnitPieces) {
  std::vector<std::pair<SetLayout, std::string>> cases;
  for (size_t length : {1u, 14u, 15u, 16u, 20u, 30u, 31u, 44u}) {
    std::string name;
    for (size_t i = 0; i < length; ++i) name.push_back(static_cast<char>('a' + i % 26));
    cases.push_back({fileSet(name), name});
  }
  SetLayout pair = fileSet("aaaaaaaaaaaaaa??b");
  pair.name[14] = 0xD83D, pair.name[15] = 0xDE00;  // the pair is units 15 and 16
  cases.push_back({pair, "aaaaaaaaaaaaaa😀b"});
  cases.push_back({fileSet(std::string(255, 'n')), std::string(15 * 15, 'n')});
  for (const auto& [layout, name] : cases) {
    OneCluster c;
    c.put(layout.name.size() == 255 ? 15 : 0, layout);
    EXPECT_EQ(c.decode(), name) << layout.name.size() << " units";
  }
}

TEST(EntrySet, FoldersAreCountedEveryRecordIndexedAndTheLengthBoundsTheSlotsWalked) {
  OneCluster c;
  c.put(0, folderSet("a", 0, 0));
  c.put(3, test::deleted(folderSet("b", 0, 0)));
  c.put(6, fileSet("empty", 0, 0));
  c.put(9, fileSet("beyond", 0, 0));
  EXPECT_EQ(c.decode(288), "empty,b,a");
  EXPECT_EQ(c.counter, 2u);
  EXPECT_EQ(c.progress.text(), "2 目录被找到");
  EXPECT_EQ(test::childNamed(c.parent, "b")->state, kStateDeletedFolder);
  // All three share first cluster 0; the index keeps them in decoding order.
  std::string order;
  for (auto [it, end] = c.partition.clusterIndex.equal_range(0); it != end; ++it) order += it->second->name;
  EXPECT_EQ(order, "abempty");
  OneCluster none;
  none.put(0, fileSet("x"));
  EXPECT_EQ(none.decode(0), "");
}

}  // namespace
}  // namespace dudorazu
