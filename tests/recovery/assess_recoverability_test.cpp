#include "core/recovery/assess_recoverability.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/common/text.h"
#include "core/device/open_device.h"
#include "core/exfat/lost_file_scan.h"
#include "core/exfat/record_walk.h"
#include "core/exfat/tree_loader.h"
#include "core/present/recoverability_text.h"
#include "core/recovery/save_engine.h"
#include "core/recovery/save_report.h"
#include "fake_volume.h"
#include "exfat/served_volume.h"
#include "support/faulty_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

using Loaded = test::CataloguedVolume;

// recovery-states.unreadable.txt: "OFFSET LENGTH" of the image's bytes to take as unreadable.
std::vector<ByteRange> unreadableFixture() {
  std::vector<ByteRange> out;
  std::istringstream in(test::fixtureText("recovery-states.unreadable.txt"));
  uint64_t offset = 0, length = 0;
  while (in >> offset >> length) out.push_back(*ByteRange::of(offset, length));
  test::require(out.size() == 2, "recovery-states.unreadable.txt lists two ranges");
  return out;
}

// Every record of the fixture carries the states and byte counts its maker wrote down, and every file called
// intact is saved as it was written.
TEST(AssessRecoverability, EachRecordOfARealVolumeIsJudgedAsItsTruthSaysAndIntactFilesSaveWhole) {
  const std::string image = test::fixtureImage("recovery-states.img");
  Loaded l(image);
  l.volume.unreadableGiven = unreadableFixture();
  ASSERT_TRUE(loadVolumeTree(l.disk, l.volume, l.progress));
  assessRecoverability(l.volume);
  const uint64_t cb = l.volume.clusterBytes();
  std::unique_ptr<SectorDevice> device = openDevice(l.disk.devicePath, OpenMode::Read);
  ASSERT_TRUE(device);
  test::TempDir out;
  SaveContext context;
  context.device = device.get();
  context.volume = &l.volume;
  context.hashData = true;
  std::vector<SavedFile> saved;
  context.onFile = [&](const SavedFile& f) { saved.push_back(f); };

  // sha256 ("-" for a folder), length, states worst first, overwritten bytes, damaged bytes, path.
  std::istringstream truth(test::fixtureText("recovery-states.truth.txt"));
  std::string sha, states, path;
  uint64_t length = 0, overwritten = 0, damaged = 0;
  size_t rows = 0;
  while (truth >> sha >> length >> states >> overwritten >> damaged >> path) {
    SCOPED_TRACE(path);
    ++rows;
    const ExfatFileRecord* r = findByPath(l.volume, path).record;
    ASSERT_TRUE(r);
    EXPECT_EQ(format("%llu %s %s %llu %llu", static_cast<unsigned long long>(r->dataLength),
                     recoverabilityNames(r->recoverability).c_str(), recoverabilityName(worstRecoverability(*r)),
                     static_cast<unsigned long long>(overwrittenBytes(*r, cb)),
                     static_cast<unsigned long long>(damagedBytes(*r, cb))),
              format("%llu %s %s %llu %llu", static_cast<unsigned long long>(length), states.c_str(),
                     states.substr(0, states.find(',')).c_str(), static_cast<unsigned long long>(overwritten),
                     static_cast<unsigned long long>(damaged)));
    EXPECT_EQ(r->recoverMarks & kAlsoInTree, 0) << "a load finds nothing twice";
    if (r->isFolder()) {
      // Folders holding files of which none is intact say so for the tree to show.
      bool anyFile = false, anyIntact = false;
      forEachRecord(*r, path, [&](const ExfatFileRecord& x, const std::string&, size_t) {
        anyFile = anyFile || x.isFile();
        anyIntact = anyIntact || (x.isFile() && x.recoverability == 0);
      });
      EXPECT_EQ((r->recoverMarks & kNothingIntactBelow) != 0, anyFile && !anyIntact);
    } else {
      // Saved when asked, but only a file called intact is called whole.
      saved.clear();
      saveFileData(context, out.file(std::to_string(rows)), *r);
      ASSERT_EQ(saved.size(), 1u);
      EXPECT_TRUE(saved[0].created && savedFileProblem(saved[0]).empty() == (states == "intact")) << savedFileProblem(saved[0]);
      EXPECT_TRUE(states != "intact" || saved[0].sha256 == sha) << "a file called intact comes back as it was written";
    }
  }
  EXPECT_EQ(rows, 15u);

  // Without the list, the read errors met on the way say the same of the folder whose entries cannot be read;
  // its file is not seen. The damaged file's data is not read before a save, which names it then.
  test::FaultPlan faults;
  for (const ByteRange& r : unreadableFixture())
    for (uint64_t s = r.start() / 512; s < r.end() / 512; ++s) faults.badSectors.insert(s);
  test::ScopedFaultInjection failing(image, faults);
  Loaded f(image);
  ASSERT_TRUE(loadVolumeTree(f.disk, f.volume, f.progress));
  assessRecoverability(f.volume);
  const ExfatFileRecord* sub = findByPath(f.volume, "/live/sub").record;
  ASSERT_TRUE(sub);
  EXPECT_TRUE(recoverabilityNames(sub->recoverability) == "damaged" && sub->children.empty());
  EXPECT_EQ(recoverabilityNames(findByPath(f.volume, "/live/damaged.bin").record->recoverability), "intact");

  // The scan reads every cluster and meets both. The live root folder it finds again is marked as in the tree,
  // with all below it.
  Loaded s(image);
  ASSERT_TRUE(scanLostFiles(s.disk, s.volume, s.progress));
  assessRecoverability(s.volume);
  const std::string root = "/" + std::to_string(l.volume.rootRecord.firstCluster);
  const ExfatFileRecord* found = findByPath(s.volume, root).record;
  ASSERT_TRUE(found);
  EXPECT_NE(found->recoverMarks & kAlsoInTree, 0);
  const ExfatFileRecord* file = findByPath(s.volume, root + "/live/damaged.bin").record;
  ASSERT_TRUE(file);
  EXPECT_EQ(recoverabilityNames(file->recoverability) + " " + std::to_string(damagedBytes(*file, cb)) + " " +
                std::to_string(file->recoverMarks & kAlsoInTree),
            "damaged " + std::to_string(cb) + " " + std::to_string(kAlsoInTree));
}

// Unreadable bytes count by the clusters of the file that hold them, each once, the last one only as far as the
// file reaches, not where another file holds it; chains and guesses are followed as a save follows them.
TEST(AssessRecoverability, UnreadableAndTakenClustersAreCountedOnceAlongTheClustersASaveReads) {
  test::FakeVolume v(1, 64);
  v.partition.clusterCount = 62;
  v.root().firstCluster = 5;
  const uint64_t cb = v.clusterBytes();
  v.volume.allocationBitmap.assign(8, 0);
  v.volume.allocationBitmap[(30 - 2) / 8] |= 1 << ((30 - 2) % 8);
  v.chain({40, 45, 41});
  ExfatFileRecord& all = v.add(v.root(), "all", kStateFolder, 3, cb, 6);
  ExfatFileRecord& lost = v.add(v.root(), "lost", kStateFolder, 3, cb, 7);
  struct Case {
    ExfatFileRecord* parent;
    const char* name;
    uint8_t state, flags;
    uint32_t first;
    uint64_t length;
    const char* states;
    uint64_t overwritten, damaged;
  } cases[] = {
      {&all, "tail", kStateFile, 3, 10, 3 * cb + 100, "damaged", 0, 100},
      {&all, "twice", kStateFile, 3, 20, 4 * cb, "damaged", 0, 3 * cb},
      {&all, "taken", kStateDeletedFile, 3, 30, 2 * cb, "overwritten,damaged", cb, cb},
      {&all, "chained", kStateFile, 1, 40, 3 * cb, "damaged", 0, cb},
      {&all, "guess", kStateDeletedFile, 1, 50, 2 * cb, "damaged,guessed", 0, cb},
      {&all, "empty", kStateFile, 0, 0, 0, "intact", 0, 0},
      {&lost, "beyond", kStateDeletedFile, 3, 70, cb, "unreachable", 0, 0},
  };
  for (const Case& c : cases) v.add(*c.parent, c.name, c.state, c.flags, c.length, c.first);
  // Out of order, overlapping and touching: merged first.
  v.volume.unreadableGiven = {*ByteRange::of(51 * cb + 7, 1),       *ByteRange::of(45 * cb + 1, 1),
                              *ByteRange::of(44 * cb, cb),          *ByteRange::of(30 * cb, 2 * cb),
                              *ByteRange::of(22 * cb + cb - 1, 2),  *ByteRange::of(21 * cb + 100, 10),
                              *ByteRange::of(21 * cb, 10),          *ByteRange::of(21 * cb + 5, 10),
                              *ByteRange::of(13 * cb + 50, 10)};
  EXPECT_EQ(unreadableAreas(v.volume).size(), 8u) << "two of the ranges in cluster 21 overlap";
  // Errors met one cluster after another on a dead stretch are kept as one range.
  for (uint32_t c = 50; c < 54; ++c) v.volume.noteUnreadable(*ByteRange::of(c * cb, cb));
  v.volume.noteUnreadable(*ByteRange::of(60 * cb, cb));
  EXPECT_EQ(v.volume.unreadableMet, (std::vector<ByteRange>{*ByteRange::of(50 * cb, 4 * cb), *ByteRange::of(60 * cb, cb)}));
  v.volume.unreadableMet.clear();
  assessRecoverability(v.volume);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ExfatFileRecord* r = findByPath(v.volume, std::string(c.parent->name == "all" ? "/all/" : "/lost/") + c.name).record;
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tuple(recoverabilityNames(r->recoverability), overwrittenBytes(*r, cb), damagedBytes(*r, cb)),
              std::tuple(std::string(c.states), c.overwritten, c.damaged));
  }
  EXPECT_EQ(recoverabilityNames(all.recoverability), "overwritten,damaged,guessed") << "a folder shows what it holds";
  EXPECT_TRUE(!(all.recoverMarks & kNothingIntactBelow) && (lost.recoverMarks & kNothingIntactBelow))
      << "the empty file is intact; nothing in 'lost' is";
  EXPECT_EQ(recoverabilityNames(v.root().recoverability), "unreachable,overwritten,damaged,guessed");

  // As a scan leaves it: the folders stand under the root as found, one of them reached from the live root; a
  // carve in a live file's clusters is that file again, one in free clusters is not.
  v.root().firstCluster = 0;
  lost.outsideLiveTree = true;
  v.volume.liveClusters.assign(8, 0);
  v.volume.liveClusters[(20 - 2) / 8] |= 1 << ((20 - 2) % 8);
  ExfatFileRecord& live = test::FakeVolume::addRecord(v.volume, v.volume.extendedRecord, "20.jpg", kStateDeletedFile, 3, cb, 20);
  ExfatFileRecord& free = test::FakeVolume::addRecord(v.volume, v.volume.extendedRecord, "60.jpg", kStateDeletedFile, 3, cb, 60);
  live.carve = free.carve = kCarvedToEndMarker;
  assessRecoverability(v.volume);
  std::string marked;  // with everything below a folder found again
  for (const ExfatFileRecord* r : {&all, &all.children.front(), &lost, &live, &free})
    marked += r->name + ((r->recoverMarks & kAlsoInTree) ? "+ " : "- ");
  EXPECT_EQ(marked, "all+ tail+ lost- 20.jpg+ 60.jpg- ");
  EXPECT_EQ(recoverabilityNames(free.recoverability), "carved");
}

// Entries that all claim one long chain cost the walks no more than the heap a few times over: those past that are
// called unreachable, never intact.
TEST(AssessRecoverability, CrossLinkedEntriesStopTheWalksInsteadOfCostingTheHeapOncePerEntry) {
  test::FakeVolume v(1, 1024);
  v.partition.clusterCount = 1022;
  v.root().firstCluster = 5;
  std::vector<uint32_t> chain;
  for (uint32_t c = 2; c < 1024; ++c) chain.push_back(c);
  v.chain(chain);
  for (int i = 0; i < 2000; ++i) v.add(v.root(), "f" + std::to_string(i), kStateFile, 1, 1022 * v.clusterBytes(), 2);
  assessRecoverability(v.volume);
  EXPECT_EQ(v.root().children.front().recoverability, 0);
  EXPECT_EQ(recoverabilityNames(v.root().children.back().recoverability), "unreachable");
}

}  // namespace
}  // namespace dudorazu
