#include "core/present/check_marks.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

namespace dudorazu {
namespace {

// A tree from paths: "a/b/f" makes folders a and b and, when the last part
// has no slash after it, a file f (a trailing "/" makes a folder).
struct Tree {
  ExfatFileRecord root;
  std::map<std::string, ExfatFileRecord*> at;

  explicit Tree(std::initializer_list<const char*> paths) {
    root.state = kStateFolder;
    at[""] = &root;
    for (std::string path : paths) {
      bool folder = path.back() == '/';
      if (folder) path.pop_back();
      ExfatFileRecord* parent = &root;
      for (size_t slash = path.find('/');; slash = path.find('/', slash + 1)) {
        const std::string key = path.substr(0, slash);
        if (!at.count(key)) {
          ExfatFileRecord& r = parent->children.emplace_back();
          r.name = key, r.parent = parent, r.state = slash != std::string::npos || folder ? kStateFolder : kStateFile;
          at[key] = &r;
        }
        parent = at[key];
        if (slash == std::string::npos) break;
      }
    }
  }
  ExfatFileRecord& operator[](const std::string& path) { return *at.at(path); }
  // Every record's mark, "path=mark" in path order.
  std::string marks() const {
    std::string out;
    for (const auto& [path, r] : at) out += (path.empty() ? "/" : path) + "=" + std::to_string(r->checkState) + " ";
    return out;
  }
};

std::vector<std::string> names(const std::vector<ExfatFileRecord*>& records) {
  std::vector<std::string> out;
  for (const ExfatFileRecord* r : records) out.push_back(r->name);
  return out;
}

TEST(CheckMarks, AMarkPassesDownToWhatARecordHoldsAndUpToEveryFolderAbove) {
  struct Step {
    std::vector<const char*> ticked;  // given the mark together
    uint8_t mark;
    const char* expected;
  };
  const struct Case {
    const char* what;
    std::vector<Step> steps;
  } cases[] = {
      {"a file makes the folders above it partly checked",
       {{{"d/e/f1"}, kChecked, "/=2 d=2 d/e=2 d/e/f1=1 d/e/f2=0 d/g=0 d/g/f3=0 top=0 "}}},
      {"every child checked makes the folder checked, and so on up",
       {{{"d/e/f1"}, kChecked, "/=2 d=2 d/e=2 d/e/f1=1 d/e/f2=0 d/g=0 d/g/f3=0 top=0 "},
        {{"d/e/f2"}, kChecked, "/=2 d=2 d/e=1 d/e/f1=1 d/e/f2=1 d/g=0 d/g/f3=0 top=0 "},
        {{"d/g/f3", "top"}, kChecked, "/=1 d=1 d/e=1 d/e/f1=1 d/e/f2=1 d/g=1 d/g/f3=1 top=1 "}}},
      {"unticking one makes the folders above partly, unticking all clears them",
       {{{"d"}, kChecked, "/=2 d=1 d/e=1 d/e/f1=1 d/e/f2=1 d/g=1 d/g/f3=1 top=0 "},
        {{"d/e/f2"}, kUnchecked, "/=2 d=2 d/e=2 d/e/f1=1 d/e/f2=0 d/g=1 d/g/f3=1 top=0 "},
        {{"d/e/f1", "d/g/f3"}, kUnchecked, "/=0 d=0 d/e=0 d/e/f1=0 d/e/f2=0 d/g=0 d/g/f3=0 top=0 "}}},
      {"a folder's mark passes to everything below it; a partly mark given is no mark",
       {{{"d/e"}, kChecked, "/=2 d=2 d/e=1 d/e/f1=1 d/e/f2=1 d/g=0 d/g/f3=0 top=0 "},
        {{"d/e"}, kPartlyChecked, "/=0 d=0 d/e=0 d/e/f1=0 d/e/f2=0 d/g=0 d/g/f3=0 top=0 "}}},
      // Two changed records at different depths below one folder: the
      // folder is counted only after the folders between them.
      {"records of a batch are counted below before above",
       {{{"d/e/f1", "d/e/f2", "d/g/f3"}, kChecked, "/=2 d=1 d/e=1 d/e/f1=1 d/e/f2=1 d/g=1 d/g/f3=1 top=0 "},
        {{"d/g/f3", "d/e/f1"}, kUnchecked, "/=2 d=2 d/e=2 d/e/f1=0 d/e/f2=1 d/g=0 d/g/f3=0 top=0 "}}},
  };
  for (const Case& c : cases) {
    Tree tree({"d/e/f1", "d/e/f2", "d/g/f3", "top"});
    for (const Step& step : c.steps) {
      std::vector<ExfatFileRecord*> records;
      for (const char* path : step.ticked) records.push_back(&tree[path]);
      if (records.size() == 1) setMark(*records[0], step.mark);
      else setMarks(records, step.mark);
      EXPECT_EQ(tree.marks(), step.expected) << c.what;
    }
  }
}

TEST(CheckMarks, RowsTakeTheFolderMarkAndTheFolderTakesTheMarkOfItsRows) {
  // 0 and 1 impose themselves on a listed row; 2 keeps the row's own mark.
  const uint8_t listed[][3] = {{0, 1, 0}, {1, 1, 1}, {2, 1, 1}, {0, 2, 0}, {1, 2, 1}, {2, 2, 2}};
  for (const auto& [folder, own, expected] : listed)
    EXPECT_EQ(markOfListedRow(folder, own), expected) << int(folder) << "/" << int(own);
  Tree tree({"a", "b", "c"});
  std::vector<ExfatFileRecord*> rows{&tree["a"], &tree["b"], &tree["c"]};
  const struct {
    uint8_t marks[3];
    uint8_t expected;
  } folders[] = {{{0, 0, 0}, kUnchecked}, {{1, 1, 1}, kChecked}, {{1, 0, 0}, kPartlyChecked},
                 {{0, 2, 0}, kPartlyChecked}, {{1, 2, 1}, kPartlyChecked}};
  for (const auto& f : folders) {
    for (size_t i = 0; i < 3; ++i) rows[i]->checkState = f.marks[i];
    EXPECT_EQ(std::pair(markOfRows(rows), markOfChildren(tree.root)), std::pair(f.expected, f.expected));
  }
  EXPECT_EQ(std::pair(markOfRows({}), markOfChildren(tree["a"])), std::pair(kUnchecked, kUnchecked))
      << "an empty folder has nothing marked";
}

// A checked record is taken whole, a partly checked one is looked into, an
// unchecked one is passed over with everything below it, whatever it holds.
TEST(CheckMarks, ABatchTakesCheckedRecordsWholeAndLooksIntoPartlyCheckedOnes) {
  Tree tree({"partly/a", "partly/b/b1", "partly/c", "skipped/inside", "whole/w1", "deeper/d/d1", "deeper/d/d2"});
  const std::pair<const char*, uint8_t> marks[] = {
      {"partly", 2}, {"partly/b", 1},  {"partly/b/b1", 1}, {"skipped/inside", 1}, {"whole", 1},
      {"deeper", 2}, {"deeper/d", 2}, {"deeper/d/d1", 1},  {"deeper/d/d2", 1}};
  for (const auto& [path, mark] : marks) tree[path].checkState = mark;
  std::vector<ExfatFileRecord*> roots;
  for (ExfatFileRecord& top : tree.root.children) roots.push_back(&top);
  EXPECT_EQ(names(markedInTree(roots)), (std::vector<std::string>{"partly/b", "whole", "deeper/d/d1", "deeper/d/d2"}));
  tree["partly"].checkState = kChecked;
  EXPECT_EQ(names(markedInTree({&tree["partly"]})), (std::vector<std::string>{"partly"}));
  // A list takes every marked row, partly ones too, in its order.
  EXPECT_EQ(names(markedRows({&tree["skipped"], &tree["deeper"], &tree["whole"], &tree["partly/a"]})),
            (std::vector<std::string>{"deeper", "whole"}));
}

// A hostile image nests folders far deeper than a stack allows and puts
// many records in one folder: no walk recurses, and a batch of all of a
// folder's children counts the folder once, not once per child.
TEST(CheckMarks, DeepTreesAndCrowdedFoldersAreMarkedWithoutRecursionOrQuadraticWalks) {
  ExfatFileRecord root;
  root.state = kStateFolder;
  ExfatFileRecord* deepest = &root;
  for (int i = 0; i < 200000; ++i) {
    ExfatFileRecord& child = deepest->children.emplace_back();
    child.state = kStateFolder, child.parent = deepest;
    deepest = &child;
  }
  ExfatFileRecord& leaf = deepest->children.emplace_back();
  leaf.parent = deepest, leaf.state = kStateFile;
  setMark(leaf, kChecked);
  EXPECT_EQ(root.checkState, kChecked) << "each folder holds one child, so all are checked";
  setMark(root, kUnchecked);
  EXPECT_EQ(leaf.checkState, kUnchecked);
  setMark(leaf, kChecked);
  root.checkState = kPartlyChecked;
  root.children.front().checkState = kPartlyChecked;
  EXPECT_EQ(markedInTree({&root}).size(), 1u);

  ExfatFileRecord crowded;
  crowded.state = kStateFolder;
  std::vector<ExfatFileRecord*> children;
  for (int i = 0; i < 300000; ++i) {
    ExfatFileRecord& child = crowded.children.emplace_back();
    child.parent = &crowded, child.state = kStateFile;
    children.push_back(&child);
  }
  auto start = std::chrono::steady_clock::now();
  setMarks(children, kChecked);
  EXPECT_EQ(crowded.checkState, kChecked);
  children.pop_back();
  setMarks(children, kUnchecked);
  EXPECT_EQ(crowded.checkState, kPartlyChecked);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
      << "a folder was counted again for each of its children";
  clearChildren(root);
}

}  // namespace
}  // namespace dudorazu
