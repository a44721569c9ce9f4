#include "core/recovery/assess_recoverability.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/device/open_device.h"
#include "core/exfat/lost_file_scan.h"
#include "core/exfat/record_walk.h"
#include "core/exfat/tree_loader.h"
#include "core/present/recoverability_text.h"
#include "core/recovery/save_engine.h"
#include "support/catalogued.h"
#include "support/faulty_device.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

struct Loaded {
  DiskRecord disk;
  PartitionRecord& partition;
  LoadedVolume volume{partition};
  ProgressBlock progress;
  explicit Loaded(const std::string& image) : disk(test::catalogued(image)), partition(disk.partitions.front()) {}
};

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
    EXPECT_EQ(r->dataLength, length);
    EXPECT_EQ(recoverabilityNames(r->recoverability), states);
    EXPECT_EQ(recoverabilityName(worstRecoverability(*r)), states.substr(0, states.find(',')));
    EXPECT_EQ(overwrittenBytes(*r, cb), overwritten);
    EXPECT_EQ(damagedBytes(*r, cb), damaged);
    EXPECT_EQ(r->recoverMarks & kAlsoInTree, 0) << "a load finds nothing twice";
    if (r->isFolder()) {
      // Folders holding files of which none is intact say so for the tree to show.
      bool anyFile = false, anyIntact = false;
      forEachRecord(*r, path, [&](const ExfatFileRecord& x, const std::string&, size_t) {
        anyFile = anyFile || x.isFile();
        anyIntact = anyIntact || (x.isFile() && x.recoverability == 0);
      });
      EXPECT_EQ((r->recoverMarks & kNothingIntactBelow) != 0, anyFile && !anyIntact);
    } else if (states == "intact") {
      saved.clear();
      ASSERT_TRUE(saveFileData(context, out.file(std::to_string(rows)), *r));
      ASSERT_EQ(saved.size(), 1u);
      EXPECT_EQ(saved[0].sha256, sha) << "a file called intact comes back as it was written";
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
  EXPECT_EQ(recoverabilityNames(sub->recoverability), "damaged");
  EXPECT_TRUE(sub->children.empty());
  EXPECT_EQ(recoverabilityNames(findByPath(f.volume, "/live/damaged.bin").record->recoverability), "intact");
}

}  // namespace
}  // namespace dudorazu
