#pragma once
// The passes of a rescue, so that the good data of a dying disk is copied
// first and its failing areas are read closer and closer later:
//  copying  - untried areas in large blocks; a failed block becomes
//             non-trimmed and a failed or slow read skips ahead (the skip
//             doubling while errors go on): forwards, backwards over what
//             was skipped, then once more without skipping;
//  trimming - each non-trimmed area sector by sector from both edges up to
//             the first bad sector; the middle becomes non-scraped;
//  scraping - the non-scraped middles sector by sector;
//  retrying - the bad sectors again, a number of passes, each the other way.
// The map is the only state: a run can stop anywhere and go on from it.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/common/progress_block.h"
#include "core/device/rescue_map.h"
#include "platform/sector_device.h"

namespace dudorazu {

// What an image holds where the source could not be read.
inline constexpr uint8_t kUnreadableFill = 0x20;

struct RescueWaits {
  std::chrono::milliseconds blockRead{2000};   // a block read not back by then is abandoned
  std::chrono::milliseconds sectorRead{1000};  // likewise for one sector
  std::chrono::milliseconds write{3000};
  std::chrono::milliseconds slowBlock{500};    // a block read slower than this skips ahead while copying
  std::chrono::milliseconds mapInterval{5000};  // the map is saved at least this often
};

struct RescueSettings {
  ByteRange domain;         // the source bytes to rescue
  uint64_t targetStart = 0;  // where domain.start() lands on the target
  size_t blockSize = 1048576;
  uint64_t skipInitial = 0;  // 0: the domain's size / 100,000, at least 64 KiB
  int retryPasses = 0;
  bool reverse = false;
  bool scrape = true;
  RescueWaits waits;
};

// What a watcher is shown of a run in progress.
struct RescueSnapshot {
  ByteRange domain;
  std::vector<RescueArea> areas;  // of the domain
  RescueCounts counts;            // of the domain
  char phase = '?';               // the mapfile's status character; '+' when finished
  uint32_t pass = 1;
  bool forwards = true;
  uint64_t position = 0;
  uint64_t readErrors = 0, slowReads = 0, hungReads = 0;
  uint64_t averageRate = 0, currentRate = 0;     // rescued bytes per second
  std::chrono::milliseconds sinceLastGoodRead{0};
  std::chrono::milliseconds runTime{0};
};

// "Copying non-tried blocks... Pass 1 (forwards)" and the like.
std::string rescuePhaseText(const RescueSnapshot& snapshot);

// The latest snapshot of a run, for a window that polls it on a timer.
class RescueMonitor {
 public:
  void publish(RescueSnapshot snapshot) {
    std::lock_guard<std::mutex> lock(mutex_);
    snapshot_ = std::move(snapshot);
    ++updates_;
  }
  RescueSnapshot snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return snapshot_;
  }
  uint64_t updates() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return updates_;
  }

 private:
  mutable std::mutex mutex_;
  RescueSnapshot snapshot_;
  uint64_t updates_ = 0;
};

struct RescueHooks {
  std::function<void(uint64_t sector)> onBadSector;      // a sector first found bad in this run
  std::function<bool()> saveMap;                         // the target is flushed before it is called
  std::function<void(const RescueSnapshot&)> onPass;     // at the start of each pass and at the end
  RescueMonitor* monitor = nullptr;
};

enum class RescueEnd { Finished, Stopped, WriteFailed };

// Runs the passes over `map` (which covers the domain). Progress: range =
// the domain's blocks, position and text (sectors) = what no pass left to
// do; the cancel flag stops it after the current read, and what was read
// stays in the map. Every area left unfinished is filled with 0x20 on the
// target when the run ends (untried ones only when it finished).
RescueEnd runRescue(const RescueSettings& settings, std::shared_ptr<SectorDevice> source,
                    std::shared_ptr<SectorDevice> target, RescueMap& map, ProgressBlock& progress,
                    const RescueHooks& hooks, RescueSnapshot* last = nullptr);

}  // namespace dudorazu
