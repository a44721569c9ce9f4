#include "core/exfat/tree_loader.h"

#include <gtest/gtest.h>

#include "core/common/text.h"
#include "core/device/disk_catalogue.h"
#include "core/exfat/record_walk.h"
#include "exfat/test_volume.h"

namespace dudorazu {
namespace {

using test::childNamed;
using test::childNames;
using test::fileSet;
using test::folderSet;
using test::TestVolume;

struct Loaded : test::ServedVolume {
  explicit Loaded(const TestVolume& v) : ServedVolume(v), ok(loadVolumeTree(disk, partition, progress)) {}
  const ExfatFileRecord& root() const { return partition.rootRecord; }
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
  EXPECT_EQ(l.partition.clusterIndex.count(4), 1u) << "the root is indexed under its cluster";

  // Loaded results are never copied away silently; a move hands them over
  // with every pointer aimed at the new record.
  static_assert(!std::is_copy_constructible_v<PartitionRecord> && !std::is_copy_assignable_v<PartitionRecord>);
  EXPECT_FALSE(l.partition.description().hasResults());
  PartitionRecord moved(std::move(l.partition));
  EXPECT_FALSE(l.partition.hasResults());
  ASSERT_EQ(moved.clusterIndex.count(4), 1u);
  EXPECT_EQ(moved.clusterIndex.find(4)->second, &moved.rootRecord);
  for (const ExfatFileRecord& child : moved.rootRecord.children) EXPECT_EQ(child.parent, &moved.rootRecord);
  PartitionRecord assigned;
  assigned = std::move(moved);
  EXPECT_EQ(assigned.clusterIndex.find(4)->second, &assigned.rootRecord);
  EXPECT_EQ(assigned.rootRecord.children.front().parent, &assigned.rootRecord);
  EXPECT_EQ(assigned.rootRecord.children.size(), 4u);
}

TEST(TreeLoader, RootChainEndsAtClusterOneAtTheFatEndAndOnACycle) {
  TestVolume a(1, 126), b, c;  // a: one FAT sector, 128 entries
  a.setFat(4, 127);            // fatEntryCount - 1 is followed
  a.setFat(127, 128);          // fatEntryCount is not
  a.putSet({4, 127}, 0, fileSet("four"));
  a.putSet({4, 127}, 16, fileSet("last"));
  b.setFat(4, 1);
  b.putSet({4}, 0, fileSet("only"));
  c.chain({4, 9});
  c.setFat(9, 4);  // back to the start: each cluster once, then stop
  c.putSet({4, 9}, 0, fileSet("a"));
  c.putSet({4, 9}, 16, fileSet("b"));
  EXPECT_EQ(childNames(Loaded(a).root()), "last,four");
  EXPECT_EQ(childNames(Loaded(b).root()), "only");
  EXPECT_EQ(childNames(Loaded(c).root()), "b,a");
}

// A contiguous folder is read in whole clusters of its length; a chained one
// follows the FAT, and stops on a cycle or where a cleared entry ends it.
// Some folders are not entered at all.
TEST(TreeLoader, FoldersReadTheirLengthOrFollowTheFatOrAreNotEntered) {
  TestVolume v;
  v.chain({4, 5});
  v.putSet({4, 5}, 0, folderSet("three", 20, 3 * 512 + 1));
  v.putSet({4, 5}, 3, folderSet("short", 50, 511));
  v.putSet({4, 5}, 6, folderSet("chained", 30, 0, 1));
  v.putSet({4, 5}, 9, test::deleted(folderSet("cleared", 40, 0, 1)));
  v.putSet({4, 5}, 12, test::deleted(folderSet("dead-same-cluster", 20, 512)));
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
  EXPECT_EQ(childNames(*three), "in-22,in-21,in-20");
  EXPECT_EQ(three->children.front().parent, three);
  EXPECT_EQ(childNames(*childNamed(l.root(), "chained")), "c31,c35,c30");
  EXPECT_EQ(childNamed(l.root(), "cleared")->state, kStateDeletedFolder);
  EXPECT_EQ(childNames(*childNamed(l.root(), "cleared")), "d40");
  for (const char* name : {"short", "dead-same-cluster", "at-three", "flags-zero", "beyond-fat"})
    EXPECT_TRUE(childNamed(l.root(), name)->children.empty()) << name;
  EXPECT_EQ(l.partition.clusterIndex.count(20), 2u);
  EXPECT_EQ(l.progress.text(), "8 目录被找到");

  // A stop request keeps what was decoded, enters no folder and reports the
  // tree as partial.
  test::ServedVolume stopped(v);
  stopped.progress.cancel();
  EXPECT_FALSE(loadVolumeTree(stopped.disk, stopped.partition, stopped.progress));
  EXPECT_TRUE(childNamed(stopped.partition.rootRecord, "three")->children.empty());
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
  l.partition.emptyResults();
}

TEST(TreeLoader, HostileLengthsAndBootSectorsEnd) {
  TestVolume v, bad;
  v.putSet({4}, 0, folderSet("endless", 10, 1ull << 62));
  v.putSet({10}, 0, folderSet("again", 10, 1ull << 62));
  Loaded l(v);
  ASSERT_TRUE(l.ok);
  EXPECT_EQ(childNamed(l.root(), "endless")->children.size(), 1u);

  bad.putSet({4}, 0, fileSet("x"));
  bad.bootSector()[0x6D] = bad.backupBootSector()[0x6D] = 30;
  Loaded lb(bad);
  EXPECT_FALSE(lb.ok);
  EXPECT_TRUE(lb.root().children.empty() && lb.partition.fatTable.empty());
}

}  // namespace
}  // namespace dudorazu
