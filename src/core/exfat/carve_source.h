#pragma once
// The bytes of a candidate file from its first byte on, as a structure walk
// reads them: small header reads served from one cached block, payloads
// skipped by their sizes and never read.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

#include "core/exfat/exfat_file_record.h"
#include "platform/sector_device.h"

namespace dudorazu {

// Clusters a file is taken to lie in when it does not lie in one piece: from
// `first` on, each cluster for which `usable` holds, up to `end`.
struct ClusterChoice {
  uint32_t first = 0;
  uint64_t end = 0;  // the first cluster not to take
  uint64_t clusterBytes = 0;
  std::function<uint64_t(uint32_t)> position;  // a cluster's device offset
  std::function<bool(uint32_t)> usable;
};

// What the searches of one scan's earlier carves found, so that a later carve
// over the same bytes (a head whose end record is far off or gone, one
// after another) does not read them again: per pattern, the device bytes
// searched and the matches in them.
struct SearchMemo {
  struct Span {
    uint64_t from = 0, to = 0;  // device offsets searched, matches starting in [from, to)
    std::vector<uint64_t> hits;
  };
  std::map<std::string, Span, std::less<>> spans;
};

class CarveSource {
 public:
  // The file lies in one piece from device offset `start`; `limit`: the
  // bytes from there on that the walk may use (as far as the scan reaches).
  CarveSource(SectorDevice& device, uint64_t start, uint64_t limit);
  // The file lies in the clusters `choice` gives, as many as `limit` bytes.
  CarveSource(SectorDevice& device, ClusterChoice choice, uint64_t limit);

  uint64_t limit() const { return limit_; }
  // Copies `length` bytes at `offset` (from the file's start) into `out`.
  // False when any of them lies past the limit or could not be read.
  bool read(uint64_t offset, void* out, size_t length);
  // A byte, or none past the limit.
  std::optional<uint8_t> byte(uint64_t offset);
  // The first occurrence of `pattern` starting in [from, to), to at most
  // the limit; none when there is none.
  std::optional<uint64_t> find(std::string_view pattern, uint64_t from, uint64_t to);
  // With a ClusterChoice: the clusters that hold the first `length` bytes,
  // in order. Empty otherwise.
  std::vector<ClusterRun> clustersOf(uint64_t length);
  // Searches of a source in one piece use and extend `memo` from now on.
  void useSearchMemo(SearchMemo* memo) { memo_ = memo; }
  // Reads fail once `stop` holds: a walk through gigabytes ends when the
  // user stops the scan.
  void stopWhen(std::function<bool()> stop) { stop_ = std::move(stop); }

 private:
  // The search itself; `searched`: matches starting before it are known.
  std::optional<uint64_t> scan(std::string_view pattern, uint64_t from, uint64_t to, uint64_t& searched);
  bool fill(uint64_t offset);
  // The device offset of file byte `offset` and how many bytes from it on
  // lie one after the other there; none past the clusters there are.
  std::optional<std::pair<uint64_t, uint64_t>> locate(uint64_t offset);
  bool mapCluster(uint64_t index);

  SectorDevice& device_;
  uint64_t start_ = 0;
  uint64_t limit_ = 0;
  std::optional<ClusterChoice> choice_;
  // With a choice: the runs found so far, each with the file cluster it begins at.
  std::vector<std::pair<uint64_t, ClusterRun>> runs_;
  uint64_t mapped_ = 0;     // file clusters mapped
  uint64_t nextCluster_ = 0;  // where the search for the next usable one goes on
  SearchMemo* memo_ = nullptr;
  std::function<bool()> stop_;
  size_t fillBytes_ = 16u << 10;  // the next read's size
  size_t lastFill_ = 0;           // the last read's
  std::vector<uint8_t> block_;
  uint64_t blockOffset_ = 0;
  size_t blockBytes_ = 0;
};

}  // namespace dudorazu
