#pragma once
// The state of a rescue as a GNU ddrescue mapfile, read and written, so a
// run can stop at any moment and go on later (from our map or ddrescue's),
// and so the rest of a dying disk can be handed to ddrescue. Positions are
// byte offsets on the source device. The map covers one contiguous extent;
// every byte of it is in exactly one state.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/common/byte_range.h"
#include "core/device/command_paths.h"

namespace dudorazu {

// The mapfile's own characters.
enum class RescueState : char {
  NonTried = '?',    // not read yet
  NonTrimmed = '*',  // a large read failed here; its edges not tried sector by sector
  NonScraped = '/',  // edges trimmed; the inside not tried sector by sector
  Bad = '-',         // tried sector by sector and unreadable
  Finished = '+',    // copied
};

struct RescueArea {
  ByteRange bytes;
  RescueState state;
  friend bool operator==(const RescueArea&, const RescueArea&) = default;
};

// Bytes in each state, and the separate bad areas, of part of a map.
struct RescueCounts {
  uint64_t rescued = 0, nonTried = 0, nonTrimmed = 0, nonScraped = 0, bad = 0;
  uint64_t badAreas = 0;
  uint64_t unfinished() const { return nonTried + nonTrimmed + nonScraped + bad; }
};

// The cells of RescueMap::grid drawn from `areas` (a snapshot's) alone;
// what they do not cover counts as finished.
std::vector<RescueState> rescueGrid(const std::vector<RescueArea>& areas, const ByteRange& within, size_t cells);

// A map text larger than this, or with more lines, is refused: no rescue
// needs it, and a hostile one must not size our memory.
inline constexpr size_t kMaxMapfileBytes = 256u << 20;

class RescueMap {
 public:
  RescueMap() = default;
  // The whole extent not tried yet.
  explicit RescueMap(const ByteRange& extent);

  // A mapfile's text: comments, the status line, then contiguous blocks in
  // order. Nullopt with `error` naming the line for anything else.
  static std::optional<RescueMap> parse(const std::string& text, std::string& error);
  // The mapfile at `path`; nullopt with `error` when it cannot be read or parsed.
  static std::optional<RescueMap> load(const std::string& path, std::string& error);

  ByteRange extent() const { return extent_; }
  // Grows the extent to cover `bytes` as well; what it gains is not tried.
  void cover(const ByteRange& bytes);
  // Sets every byte of `bytes` that lies inside the extent to `state`,
  // merging with neighbours of the same state.
  void set(const ByteRange& bytes, RescueState state);
  // The state of the byte at `position`; NonTried outside the extent.
  RescueState stateAt(uint64_t position) const;

  // Every area in order (adjacent areas always differ in state).
  std::vector<RescueArea> areas() const;
  // The areas that meet `within`, cut to it; outside the extent counts as
  // not tried.
  std::vector<RescueArea> areasWithin(const ByteRange& within) const;
  // The first area in `state` met walking from `position` forwards (or,
  // backwards, the last one that starts before `position`), cut to `within`.
  std::optional<ByteRange> nextArea(RescueState state, uint64_t position, bool forwards, const ByteRange& within) const;
  RescueCounts counts(const ByteRange& within) const;
  // Bytes in each state over the whole extent, kept as states change (no
  // bad-area count).
  const RescueCounts& totals() const { return totals_; }
  // The stretches of `within` that are not finished, adjacent ones merged:
  // what a later step must treat as unreadable.
  std::vector<ByteRange> unfinished(const ByteRange& within) const;
  // The state of each of `cells` equal cells over `within`, for drawing: a
  // cell shows its most troubled state (bad over non-scraped over
  // non-trimmed over non-tried over finished).
  std::vector<RescueState> grid(const ByteRange& within, size_t cells) const;

  // The status line: where the run is, which phase ('?', '*', '/', '-' or
  // '+' for finished) and which pass of it.
  uint64_t currentPosition = 0;
  char currentStatus = '?';
  uint32_t currentPass = 1;

  // The mapfile text.
  std::string text() const;
  // Writes the text to `path` through a temporary file and a rename, so a
  // crash never leaves half a map; neither may meet the command's `inputs`
  // (see outputProblem). False on failure or refusal.
  bool save(const std::string& path, const std::vector<CommandPath>& inputs) const;

 private:
  struct Stretch {
    uint64_t end;
    RescueState state;
  };
  // Splits the area holding `position` so that an area starts there.
  void splitAt(uint64_t position);
  void mergeAround(uint64_t position);
  void account(RescueState state, uint64_t bytes, bool add);

  ByteRange extent_;
  std::map<uint64_t, Stretch> areas_;  // keyed by start; they tile the extent
  RescueCounts totals_;
};

}  // namespace dudorazu
