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

  OneCluster() {
    partition.clusterSectors = 1;
    parent.name = "p";
    parent.state = kStateFolder;
  }
  void put(size_t slot, const SetLayout& layout) {
    std::vector<uint8_t> e = encodeSet(layout);
    std::copy(e.begin(), e.end(), buffer.begin() + 32 * slot);
  }
  void decode(size_t length = 512) {
    DirectoryWalk walk(device, partition, progress, 1000);
    walk.decodeDirectoryBuffer(buffer.data(), buffer.size(), length, parent);
    counter = walk.directoryCounter;
  }
  uint32_t counter = 0;
};

TEST(EntrySet, RecordsGoToTheFrontInUseAndDeletedFormsMixed) {
  OneCluster c;
  c.put(0, fileSet("live.txt", 10, 100));
  c.put(3, test::deleted(fileSet("gone.txt", 11, 5ull << 30)));
  // In-use primary with deleted secondaries after the stream: still one set.
  SetLayout mixed = fileSet("mixed.txt", 12, 300);
  c.put(6, mixed);
  c.buffer[32 * 8] = 0x41;
  c.decode();
  ASSERT_EQ(test::childNames(c.parent), (std::vector<std::string>{"mixed.txt", "gone.txt", "live.txt"}));
  const ExfatFileRecord& gone = *test::childNamed(c.parent, "gone.txt");
  EXPECT_EQ(gone.state, kStateDeletedFile);
  EXPECT_EQ(gone.firstCluster, 11u);
  EXPECT_EQ(gone.dataLength, 5ull << 30) << "lengths of 4 GiB and more must not be truncated";
  EXPECT_EQ(gone.allocationFlags, 3);
  EXPECT_EQ(gone.parent, &c.parent);
  EXPECT_EQ(test::childNamed(c.parent, "live.txt")->state, kStateFile);
  EXPECT_EQ(c.partition.clusterIndex.size(), 3u);
}

TEST(EntrySet, StartRuleAndSecondaryCountLimit) {
  OneCluster c;
  std::vector<uint8_t> bad = encodeSet(fileSet("a", 5));
  bad[32] = 0x40;  // an in-use file entry followed by a deleted stream entry
  std::copy(bad.begin(), bad.end(), c.buffer.begin());
  std::vector<uint8_t> bad2 = encodeSet(test::deleted(fileSet("b", 6)));
  bad2[32] = 0xC0;
  std::copy(bad2.begin(), bad2.end(), c.buffer.begin() + 96);
  SetLayout eighteen = fileSet(std::string(255, 'x'));  // 17 name entries + stream
  c.put(6, eighteen);
  c.decode();
  ASSERT_EQ(test::childNames(c.parent), std::vector<std::string>{std::string(255, 'x')});

  OneCluster d;
  SetLayout nineteen = fileSet("nineteen");
  nineteen.secondaryCount = 19;
  d.put(0, nineteen);
  d.decode();
  EXPECT_TRUE(d.parent.children.empty()) << "a SecondaryCount of 19 is no set";

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
// the two-cluster buffer is read up to the buffer's end.
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
  for (const auto& [layout, name] : cases) {
    OneCluster c;
    c.put(0, layout);
    c.decode();
    EXPECT_EQ(test::childNames(c.parent), std::vector<std::string>{name}) << layout.name.size() << " units";
  }
  // Slot 15 of a 512-byte cluster: the 19 entries run past the 1024-byte
  // buffer; what lies beyond is taken as absent.
  OneCluster c;
  std::vector<uint8_t> e = encodeSet(fileSet(std::string(255, 'n')));
  std::copy(e.begin(), e.begin() + (1024 - 32 * 15), c.buffer.begin() + 32 * 15);
  c.decode();
  EXPECT_EQ(test::childNames(c.parent), std::vector<std::string>{std::string(15 * 15, 'n')});
}

TEST(EntrySet, KeepsTheLastStreamEntry) {
  OneCluster c;
  SetLayout twice = fileSet("twice", 7, 1);
  std::vector<uint8_t> e = encodeSet(twice);
  std::vector<uint8_t> stream2(e.begin() + 32, e.begin() + 64);
  putLe32(stream2.data(), 20, 77);
  putLe64(stream2.data(), 24, 7777);
  stream2[1] = 1;
  e.insert(e.end(), stream2.begin(), stream2.end());
  e[1] = 3;
  std::copy(e.begin(), e.end(), c.buffer.begin() + 32 * 4);
  c.decode();
  const ExfatFileRecord& t = *test::childNamed(c.parent, "twice");
  EXPECT_EQ(t.firstCluster, 77u);
  EXPECT_EQ(t.dataLength, 7777u);
  EXPECT_EQ(t.allocationFlags, 1);
}

TEST(EntrySet, FoldersAreCountedAndEveryRecordIsIndexed) {
  OneCluster c;
  c.put(0, folderSet("a", 0, 0));
  c.put(3, test::deleted(folderSet("b", 0, 0)));
  c.put(6, fileSet("empty", 0, 0));
  c.decode();
  EXPECT_EQ(c.counter, 2u);
  EXPECT_EQ(c.progress.text(), "2 目录被找到");
  EXPECT_EQ(test::childNamed(c.parent, "b")->state, kStateDeletedFolder);
  // All three share first cluster 0; the index keeps them in decoding order.
  auto range = c.partition.clusterIndex.equal_range(0);
  std::vector<std::string> order;
  for (auto it = range.first; it != range.second; ++it) order.push_back(it->second->name);
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "empty"}));
}

TEST(EntrySet, LengthBoundsTheSlotsWalked) {
  OneCluster c;
  c.put(0, fileSet("first"));
  c.put(8, fileSet("beyond"));
  c.decode(256);
  EXPECT_EQ(test::childNames(c.parent), std::vector<std::string>{"first"});
  OneCluster none;
  none.put(0, fileSet("x"));
  none.decode(0);
  EXPECT_TRUE(none.parent.children.empty());
}

}  // namespace
}  // namespace dudorazu
