#include "core/exfat/record_walk.h"

#include <gtest/gtest.h>

#include "core/exfat/tree_loader.h"

namespace dudorazu {
namespace {

ExfatFileRecord& add(ExfatFileRecord& parent, const std::string& name, uint8_t state) {
  ExfatFileRecord& r = parent.children.emplace_back();
  r.name = name;
  r.state = state;
  r.parent = &parent;
  return r;
}

TEST(RecordWalk, PathsOrderAndFindingByPath) {
  PartitionRecord p;
  p.rootRecord.name = kRootFolderName;
  p.rootRecord.state = kStateFolder;
  add(p.rootRecord, "x", kStateDeletedFile);
  ExfatFileRecord& live = add(p.rootRecord, "x", kStateFolder);
  ExfatFileRecord& deep = add(add(live, "y", kStateFolder), "z.txt", kStateFile);
  p.extendedRecord.name = kExtendedFolderName;
  p.extendedRecord.state = kStateFolder;
  ExfatFileRecord& carved = add(p.extendedRecord, "1.jpg", kStateDeletedFile);

  EXPECT_EQ(recordPath(p.rootRecord), "/");
  EXPECT_EQ(recordPath(deep), "/x/y/z.txt");
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
      {"/", &p.rootRecord, 1},
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
