#include "core/exfat/tree_loader.h"

#include <gtest/gtest.h>

#include "core/common/text.h"
#include "core/device/disk_catalogue.h"
#include "core/exfat/directory_walk.h"
#include "core/exfat/entry_set.h"
#include "core/exfat/record_walk.h"
#include "exfat/served_volume.h"
#include "support/memory_device.h"

namespace dudorazu {
namespace {

using namespace test;

struct Loaded : test::ServedVolume {
  explicit Loaded(const TestVolume& v) : ServedVolume(v), ok(loadVolumeTree(disk, volume, progress)) {}
  const ExfatFileRecord& root() const { return volume.rootRecord; }
  bool ok;
};

TEST(TreeLoader, RootChainClustersAreDecodedInOrderAndSetsCrossBoundaries) {
  TestVolume v;
  v.chain({4, 9, 10});
  v.putSet({4, 9, 10}, 0, fileSet("in-4"));
  v.putSet({4, 9, 10}, 15, fileSet("crossing-4-to-9-with-a-long-name"));  // last slot of 4 on into 9
  v.putSet({4, 9, 10}, 20, fileSet("in-9"));
  v.putSet({4, 9, 10}, 32, fileSet("in-10"));
  Loaded l(v);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(childNames(l.root()), "in-10,in-9,crossing-4-to-9-with-a-long-name,in-4");
  EXPECT_EQ(l.root().name + " " + std::to_string(l.root().firstCluster), "根目录 4");
  EXPECT_EQ(l.volume.clusterIndex.count(4), 1u) << "the root is indexed under its cluster";

  // The description is a plain value: a copy carries none of the loaded
  // records, which stay with the one volume that read them.
  static_assert(std::is_copy_constructible_v<PartitionRecord> && !std::is_copy_constructible_v<LoadedVolume>);
  l.volume.emptyResults();
  EXPECT_FALSE(l.volume.hasResults());
}

TEST(TreeLoader, ChainsCyclesHostileLengthsAndBootSectorsEndTheLoad) {
  TestVolume a(1, 126), b, c, v, bad;  // a: one FAT sector, 128 entries
  a.setFat(4, 127);                    // fatEntryCount - 1 is followed
  a.setFat(127, 128);                  // fatEntryCount is not
  a.putSet({4, 127}, 0, fileSet("four"));
  a.putSet({4, 127}, 16, fileSet("last"));
  b.setFat(4, 1);
  b.putSet({4}, 0, fileSet("only"));
  c.chain({4, 9});
  c.setFat(9, 4);  // back to the start: each cluster once, then stop
  c.putSet({4, 9}, 0, fileSet("a"));
  c.putSet({4, 9}, 16, fileSet("b"));
  EXPECT_EQ(std::tuple(childNames(Loaded(a).root()), childNames(Loaded(b).root())), std::tuple("last,four", "only"));
  EXPECT_EQ(childNames(Loaded(c).root()), "b,a");
  v.putSet({4}, 0, folderSet("endless", 10, 1ull << 62));
  v.putSet({10}, 0, folderSet("again", 10, 1ull << 62));
  Loaded l(v);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(childNamed(l.root(), "endless")->children.size(), 1u);
  bad.putSet({4}, 0, fileSet("x"));
  bad.bootSector()[0x6D] = bad.backupBootSector()[0x6D] = 30;
  Loaded lb(bad);
  EXPECT_FALSE(lb.ok);
  EXPECT_TRUE(lb.root().children.empty() && lb.volume.fatTable.empty());
}

// Contiguous folders read their length, chained ones the FAT up to a cycle or cleared entry.
TEST(TreeLoader, FoldersReadTheirLengthOrFollowTheFatOrAreNotEntered) {
  TestVolume v;
  v.chain({4, 5});
  v.putSet({4, 5}, 0, folderSet("three", 20, 3 * 512 + 1));
  v.putSet({4, 5}, 3, folderSet("short", 50, 511));
  v.putSet({4, 5}, 6, folderSet("chained", 30, 0, 1));
  v.putSet({4, 5}, 9, deleted(folderSet("cleared", 40, 0, 1)));
  v.putSet({4, 5}, 12, deleted(folderSet("dead-same-cluster", 20, 512)));
  v.putSet({4, 5}, 16, folderSet("at-three", 3, 512));
  v.putSet({4, 5}, 19, folderSet("flags-zero", 60, 512, 0));
  v.putSet({4, 5}, 22, folderSet("beyond-fat", 100000, 512, 1));
  for (uint32_t c : {20u, 21u, 22u, 23u}) v.putSet({c}, 0, fileSet("in-" + std::to_string(c)));
  v.putSet({50}, 0, fileSet("never"));
  v.putSet({60}, 0, fileSet("hidden"));
  v.chain({30, 35, 31});
  v.setFat(31, 35);  // a cycle back into the chain
  for (uint32_t c : {30u, 35u, 31u, 40u, 41u})
    v.putSet({c}, 0, fileSet(std::string(c < 40 ? "c" : "d") + std::to_string(c)));
  Loaded l(v);  // cluster 41's FAT entry was cleared: not reached
  EXPECT_EQ(childNames(l.root()), "beyond-fat,flags-zero,at-three,dead-same-cluster,cleared,chained,short,three");
  const ExfatFileRecord* three = childNamed(l.root(), "three");
  EXPECT_TRUE(childNames(*three) == "in-22,in-21,in-20" && three->children.front().parent == three) << childNames(*three);
  EXPECT_EQ(childNames(*childNamed(l.root(), "chained")), "c31,c35,c30");
  EXPECT_EQ(childNames(*childNamed(l.root(), "cleared")) + std::to_string(childNamed(l.root(), "cleared")->state),
            "d40" + std::to_string(kStateDeletedFolder));
  for (const char* name : {"short", "dead-same-cluster", "at-three", "flags-zero", "beyond-fat"})
    EXPECT_TRUE(childNamed(l.root(), name)->children.empty()) << name;
  EXPECT_EQ(std::tuple(l.volume.clusterIndex.count(20), l.progress.text()), std::tuple(2u, "8 目录被找到"));

  // A stop request keeps what was decoded, enters no folder and reports the
  // tree as partial.
  test::ServedVolume stopped(v);
  stopped.progress.cancel();
  EXPECT_FALSE(loadVolumeTree(stopped.disk, stopped.volume, stopped.progress) ||
               !childNamed(stopped.volume.rootRecord, "three")->children.empty());
}

TEST(TreeLoader, DeepNestingNeedsNoDeepStack) {
  // 70000 nested folders, each followed by a file in its parent: deeper than
  // recursion survives, with more buffers than the walk keeps in memory.
  constexpr uint32_t kDepth = 70000;
  TestVolume v(1, kDepth + 8);
  for (uint32_t d = 0; d < kDepth; ++d) {
    if (d + 1 < kDepth) v.putSet({4 + d}, 0, folderSet("d", 5 + d, 512));
    v.putSet({4 + d}, 3, fileSet(format("f%u", d)));
  }
  Loaded l(v);
  const ExfatFileRecord* r = &l.root();
  uint32_t depth = 0;
  for (;; ++depth) {
    ASSERT_FALSE(r->children.empty());
    EXPECT_EQ(r->children.front().name, format("f%u", depth)) << "depth " << depth;
    if (r->children.size() < 2) break;
    r = &*std::next(r->children.begin());
  }
  EXPECT_EQ(depth, kDepth - 1);
  l.volume.emptyResults();
}

// One 512-byte folder cluster decoded alone, as the lost-file scan decodes found folders.
struct OneCluster {
  std::vector<uint8_t> buffer = std::vector<uint8_t>(1024, 0);
  test::MemoryDevice device{std::string(1 << 20, '\0')};
  PartitionRecord partition;
  LoadedVolume volume{partition};
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
    DirectoryWalk walk(device, volume, progress, 1000);
    walk.decodeDirectoryBuffer(buffer.data(), buffer.size(), length, parent);
    counter = walk.directoryCounter;
    return childNames(parent);
  }
};

std::string fields(const ExfatFileRecord& r) {
  return r.name + " s" + std::to_string(r.state) + " c" + std::to_string(r.firstCluster) + " l" +
         std::to_string(r.dataLength) + " f" + std::to_string(r.allocationFlags);
}

TEST(EntrySet, RecordsGoToTheFrontFormsMixTheLastStreamCountsAndTheStartRuleAndCountLimitHold) {
  OneCluster c;
  c.put(0, fileSet("live.txt", 10, 100));
  c.put(3, test::deleted(fileSet("gone.txt", 11, 5ull << 30)));  // 4 GiB and more: not truncated
  c.put(6, fileSet("mixed.txt", 12, 300));
  c.buffer[32 * 8] = 0x41;  // in-use primary, deleted name entry after the stream: still one set
  std::vector<uint8_t> twice = encodeSet(fileSet("twice", 7, 1)), stream2(twice.begin() + 32, twice.begin() + 64);
  putLe32(stream2.data(), 20, 77), putLe64(stream2.data(), 24, 7777), stream2[1] = 1;
  twice.insert(twice.end(), stream2.begin(), stream2.end());
  twice[1] = 3;
  c.put(9, twice);
  EXPECT_EQ(c.decode(), "twice,mixed.txt,gone.txt,live.txt");
  EXPECT_EQ(fields(*childNamed(c.parent, "gone.txt")),
            "gone.txt s" + std::to_string(kStateDeletedFile) + " c11 l5368709120 f3");
  EXPECT_EQ(fields(*childNamed(c.parent, "twice")), "twice s" + std::to_string(kStateFile) + " c77 l7777 f1");
  EXPECT_TRUE(childNamed(c.parent, "gone.txt")->parent == &c.parent && childNamed(c.parent, "live.txt")->state == kStateFile);
  EXPECT_EQ(c.volume.clusterIndex.size(), 4u);

  // The start rule: both entries in use or both deleted.
  OneCluster b;
  std::vector<uint8_t> bad = encodeSet(fileSet("a", 5)), bad2 = encodeSet(deleted(fileSet("b", 6)));
  bad[32] = 0x40, bad2[32] = 0xC0;  // an in-use file entry followed by a deleted stream entry, and the reverse
  b.put(0, bad), b.put(3, bad2);
  b.put(6, fileSet(std::string(255, 'x')));  // 17 name entries + stream
  EXPECT_EQ(b.decode(), std::string(255, 'x'));

  OneCluster d;
  SetLayout nineteen = fileSet("nineteen");
  nineteen.secondaryCount = 19;
  d.put(0, nineteen);
  EXPECT_EQ(d.decode(), "") << "a SecondaryCount of 19 is no set";
  OneCluster e;  // from slot 15 of 512 bytes a set runs past the two-cluster buffer
  e.put(15, fileSet(std::string(255, 'n')));
  EXPECT_EQ(e.decode(), std::string(15 * 15, 'n'));

  // Called directly, a count of 255 over 254 full name entries keeps the
  // name to what a set can hold.
  std::vector<uint8_t> hostile(256 * 32, 0);
  hostile[0] = kTypeFile, hostile[1] = 255, hostile[32] = kTypeStream;
  for (size_t at = 64; at < hostile.size(); at += 32) {
    hostile[at] = kTypeName;
    for (size_t k = 0; k < 15; ++k) hostile[at + 2 + 2 * k] = 'y';
  }
  uint32_t folders = 0;
  DecodedSet set = decodeEntrySet(hostile.data(), hostile.size(), 0, d.parent, d.volume, d.progress, folders);
  ASSERT_NE(set.record, nullptr);
  EXPECT_EQ(std::pair(set.record->name, set.slots), std::pair(std::string(18 * 15, 'y'), 256u));
}

TEST(EntrySet, FoldersAreCountedEveryRecordIndexedAndTheLengthBoundsTheSlotsWalked) {
  OneCluster c;
  c.put(0, folderSet("a", 0, 0));
  c.put(3, deleted(folderSet("b", 0, 0)));
  c.put(6, fileSet("empty", 0, 0));
  c.put(9, fileSet("beyond", 0, 0));
  EXPECT_EQ(c.decode(288), "empty,b,a");
  EXPECT_EQ(std::to_string(c.counter) + ", " + c.progress.text(), "2, 2 目录被找到");
  EXPECT_EQ(childNamed(c.parent, "b")->state, kStateDeletedFolder);
  // All three share first cluster 0; the index keeps them in decoding order.
  std::string order;
  for (auto [it, end] = c.volume.clusterIndex.equal_range(0); it != end; ++it) order += it->second->name;
  EXPECT_EQ(order, "abempty");
  OneCluster none;
  none.put(0, fileSet("x"));
  EXPECT_EQ(none.decode(0), "");
}

// Lookups between insertions see every entry so far, in cluster order and,
// under one cluster, in the order entered.
TEST(RecordIndex, LookupsAfterEachInsertionSeeEveryEntryInOrder) {
  ExfatFileRecord r[6];
  const struct {
    uint32_t cluster;
    ExfatFileRecord* record;
    const char* listed;  // (cluster:record) for all entries after this insertion
  } steps[] = {
      {9, &r[0], "9:0"},       {4, &r[1], "4:1 9:0"},         {9, &r[2], "4:1 9:0 9:2"},
      {0, &r[3], "0:3 4:1 9:0 9:2"}, {9, &r[4], "0:3 4:1 9:0 9:2 9:4"}, {4, &r[5], "0:3 4:1 4:5 9:0 9:2 9:4"},
  };
  RecordIndex index;
  for (const auto& step : steps) {
    index.insert({step.cluster, step.record});
    std::string listed;
    for (const auto& [cluster, record] : index)
      listed += (listed.empty() ? "" : " ") + std::to_string(cluster) + ":" + std::to_string(record - r);
    EXPECT_EQ(std::tuple(listed, index.find(step.cluster)->first), std::tuple(step.listed, step.cluster));
  }
  EXPECT_EQ(index.count(9), 3u);
  EXPECT_EQ(index.find(9)->second, &r[0]) << "the first entered under a cluster is found first";
  EXPECT_TRUE(index.find(5) == index.end() && index.count(10) == 0 && index.count(3) == 0);
  index.clear();
  EXPECT_TRUE(index.empty() && index.find(9) == index.end());
}

ExfatFileRecord& add(ExfatFileRecord& parent, const std::string& name, uint8_t state) {
  ExfatFileRecord& r = parent.children.emplace_back();
  r.name = name;
  r.state = state;
  r.parent = &parent;
  return r;
}

TEST(RecordWalk, PathsOrderAndFindingByPath) {
  PartitionRecord description;
  LoadedVolume p(description);
  p.rootRecord.name = kRootFolderName;
  p.rootRecord.state = kStateFolder;
  add(p.rootRecord, "x", kStateDeletedFile);
  ExfatFileRecord& live = add(p.rootRecord, "x", kStateFolder);
  ExfatFileRecord& y = add(live, "y", kStateFolder);
  ExfatFileRecord& deep = add(y, "z.txt", kStateFile);
  // Hostile names: one with a slash has the path of y, and one left empty
  // has the path of the root.
  add(p.rootRecord, "x/y", kStateDeletedFile);
  add(p.rootRecord, "", kStateDeletedFile);
  p.extendedRecord.name = kExtendedFolderName;
  p.extendedRecord.state = kStateFolder;
  ExfatFileRecord& carved = add(p.extendedRecord, "1.jpg", kStateDeletedFile);

  EXPECT_EQ(std::tuple(recordPath(p.rootRecord), recordPath(deep)), std::tuple("/", "/x/y/z.txt"));
  EXPECT_EQ(recordPath(carved), "/扩展目录/1.jpg");

  // Depth first in children order; every descended node is left after its
  // children, and a stop leaves nothing more.
  std::string order;
  walkTree(
      p.rootRecord,
      [&](const ExfatFileRecord& r, size_t depth) {
        order += "+" + r.name + std::to_string(depth);
        return r.name == "z.txt" ? WalkStep::Stop : WalkStep::Descend;
      },
      [&](const ExfatFileRecord& r, size_t depth) { order += "-" + r.name + std::to_string(depth); });
  EXPECT_EQ(order, "+根目录0+x1-x1+x1+y2+z.txt3");
  std::string paths;
  forEachRecord(live, "/x", [&](const ExfatFileRecord&, const std::string& path, size_t) { paths += path + ";"; });
  EXPECT_EQ(paths, "/x;/x/y;/x/y/z.txt;");

  struct Case {
    const char* wanted;
    const ExfatFileRecord* record;
    size_t matches;
  } cases[] = {
      {"/x//", &live, 2},  // the live one of two, trailing slashes left off
      {"/x/y/z.txt", &deep, 1},
      {"/x/y", &y, 2},
      {"/", &p.rootRecord, 2},
      {"/扩展目录/1.jpg", &carved, 1},
      {"/x/y/z", nullptr, 0},
  };
  for (const Case& c : cases) {
    PathMatch found = findByPath(p, c.wanted);
    EXPECT_EQ(found.record, c.record) << c.wanted;
    EXPECT_EQ(found.matches, c.matches) << c.wanted;
  }
}

}  // namespace
}  // namespace dudorazu
