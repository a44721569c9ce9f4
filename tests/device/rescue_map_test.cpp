#include "core/device/rescue_map.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fixtures.h"
#include "support/temp_dir.h"

namespace dudorazu {
namespace {

std::string describe(const ByteRange& r) { return std::to_string(r.start()) + "+" + std::to_string(r.length()); }
// "start+length:state ..." for a compact expectation.
std::string describe(const std::vector<RescueArea>& areas) {
  std::string out;
  for (const RescueArea& a : areas) out += (out.empty() ? "" : " ") + describe(a.bytes) + ":" + static_cast<char>(a.state);
  return out;
}
// "+rescued -bad(areas) ?untried *untrimmed /unscraped".
std::string describe(const RescueCounts& c) {
  return "+" + std::to_string(c.rescued) + " -" + std::to_string(c.bad) + "(" + std::to_string(c.badAreas) + ") ?" +
         std::to_string(c.nonTried) + " *" + std::to_string(c.nonTrimmed) + " /" + std::to_string(c.nonScraped);
}

TEST(RescueMap, ParsesMapsOfEitherToolAndRefusesHostileOnesWithTheLine) {
  const struct {
    const char* text;
    const char* areas;  // nullptr: refused
    const char* said;   // the status line, or a part of the error
  } cases[] = {
      // A map as ddrescue writes it: heading comments, status line with pass.
      {"# Mapfile. Created by GNU ddrescue version 1.27\n# Command line: ddrescue a b m\n"
       "# current_pos  current_status  current_pass\n0x00130000     *               2\n"
       "#      pos        size  status\n0x00000000  0x00120000  +\n0x00120000  0x00000200  -\n"
       "0x00120200  0x00001E00  /\n0x00122000  0x0000E000  *\n0x00130000  0x00050000  ?\n",
       "0+1179648:+ 1179648+512:- 1180160+7680:/ 1187840+57344:* 1245184+327680:?", "1245184 * 2"},
      // Older maps have no pass; numbers in any C base; comments after
      // white space; CRLF line ends; neighbours of one state merged.
      {"1024 ?\r\n0 512 + # a comment\n01000 0x200 +\n1024 3072 -\t#x\n", "0+1024:+ 1024+3072:-", "1024 ? 1"},
      {"0 + 1\n", "", "0 + 1"},  // a status line and no blocks
      {"", nullptr, "no status line"},
      {"# only comments\n", nullptr, "no status line"},
      {"0 ? 1\n0 512 +\n1024 512 +\n", nullptr, "line 3 of the mapfile: a gap"},
      {"0 ? 1\n0 1024 +\n512 512 +\n", nullptr, "line 3 of the mapfile: blocks overlap"},
      {"0 ? 1\n0 0 +\n", nullptr, "a block of size 0"},
      {"0 ? 1\n0xFFFFFFFFFFFFFE00 0x400 +\n", nullptr, "past 64 bits"},
      {"0 ? 1\n0x10000000000000000 1 +\n", nullptr, "not a number"},
      {"0 ? 1\n-1 512 +\n", nullptr, "not a number"},
      {"0 ? 1\n0 09 +\n", nullptr, "not a number"},  // 9 is no octal digit
      {"0 ? 1\n0 512 x\n", nullptr, "not a block line"},
      {"0 ? 1\n0 512 + extra\n", nullptr, "not a block line"},
      {"0 ? 1\n0 512#+\n", nullptr, "not a block line"},  // '#' starts a comment only after white space
      {"0 X 1\n", nullptr, "unknown current status"},
      {"0 ? 0x2\n", nullptr, "current pass"},
      {"0 ? 0\n", nullptr, "current pass"},
      {"garbage\n", nullptr, "not a status line"},
  };
  for (const auto& c : cases) {
    std::string error;
    std::optional<RescueMap> map = RescueMap::parse(c.text, error);
    if (!c.areas) {
      EXPECT_TRUE(!map && error.find(c.said) != std::string::npos) << c.text << " -> " << error;
      continue;
    }
    ASSERT_TRUE(map) << c.text << " -> " << error;
    EXPECT_EQ(describe(map->areas()), c.areas) << c.text;
    EXPECT_EQ(std::to_string(map->currentPosition) + " " + map->currentStatus + " " + std::to_string(map->currentPass),
              c.said) << c.text;
    // What we write reads back the same.
    std::optional<RescueMap> again = RescueMap::parse(map->text(), error);
    ASSERT_TRUE(again) << error;
    EXPECT_TRUE(again->areas() == map->areas() && again->text() == map->text()) << again->text();
  }
  std::string error;
  EXPECT_FALSE(RescueMap::parse(std::string(kMaxMapfileBytes + 1, '#'), error));
}

TEST(RescueMap, SettingStatesSplitsAndMergesQueriesSeeTheResultAndTheMapIsSavedAtomically) {
  RescueMap map(*ByteRange::of(1000, 9000));  // [1000, 10000)
  const struct {
    uint64_t start, length;
    RescueState state;
    const char* areas;
  } steps[] = {
      {1000, 2000, RescueState::Finished, "1000+2000:+ 3000+7000:?"},
      {5000, 1000, RescueState::NonTrimmed, "1000+2000:+ 3000+2000:? 5000+1000:* 6000+4000:?"},
      {3000, 2000, RescueState::Finished, "1000+4000:+ 5000+1000:* 6000+4000:?"},  // merges left
      {5500, 100, RescueState::Bad, "1000+4000:+ 5000+500:* 5500+100:- 5600+400:* 6000+4000:?"},
      {5000, 500, RescueState::Bad, "1000+4000:+ 5000+600:- 5600+400:* 6000+4000:?"},
      {0, 1500, RescueState::Bad, "1000+500:- 1500+3500:+ 5000+600:- 5600+400:* 6000+4000:?"},  // cut to the extent
      {9000, 5000, RescueState::Finished, "1000+500:- 1500+3500:+ 5000+600:- 5600+400:* 6000+3000:? 9000+1000:+"},
      {5600, 3400, RescueState::Finished, "1000+500:- 1500+3500:+ 5000+600:- 5600+4400:+"},
  };
  for (const auto& s : steps) {
    map.set(*ByteRange::of(s.start, s.length), s.state);
    EXPECT_EQ(describe(map.areas()), s.areas) << "after setting " << s.start << "+" << s.length;
  }
  const RescueCounts& kept = map.totals();
  EXPECT_EQ(std::tuple(kept.rescued, kept.bad, kept.nonTried + kept.nonTrimmed + kept.nonScraped),
            std::tuple(uint64_t{7900}, uint64_t{1100}, uint64_t{0}));
  // Outside the extent counts as not tried.
  EXPECT_EQ(describe(map.counts(*ByteRange::of(0, 20000))), "+7900 -1100(2) ?11000 *0 /0");
  EXPECT_EQ(std::pair(map.stateAt(5599), map.stateAt(10000)), std::pair(RescueState::Bad, RescueState::NonTried));
  std::string unfinished;  // past the extent nothing is known
  for (const ByteRange& r : map.unfinished(*ByteRange::of(1200, 9800))) unfinished += describe(r) + " ";
  EXPECT_EQ(unfinished, "1200+300 5000+600 10000+1000 ");

  // Areas of a state from a position, either way, cut to a window.
  const ByteRange window = *ByteRange::of(1200, 8000);
  const struct {
    uint64_t from;
    bool forwards;
    std::optional<ByteRange> found;
  } walks[] = {
      {0, true, ByteRange::of(1200, 300)}, {1300, true, ByteRange::of(1300, 200)},
      {1500, true, ByteRange::of(5000, 600)}, {5600, true, std::nullopt},
      {9999, false, ByteRange::of(5000, 600)}, {5300, false, ByteRange::of(5000, 300)},
      {5000, false, ByteRange::of(1200, 300)}, {1200, false, std::nullopt},
  };
  for (const auto& w : walks)
    EXPECT_EQ(map.nextArea(RescueState::Bad, w.from, w.forwards, window), w.found) << w.from << " " << w.forwards;

  // The grid shows a cell's worst state: one bad byte marks its cell.
  RescueMap grid(*ByteRange::of(0, 1000));
  grid.set(*ByteRange::of(0, 1000), RescueState::Finished);
  grid.set(*ByteRange::of(240, 300), RescueState::NonTried);
  grid.set(*ByteRange::of(250, 1), RescueState::Bad);
  grid.set(*ByteRange::of(999, 1), RescueState::NonScraped);
  for (auto [within, count, expected] : {std::tuple{1000, 10, "++-???+++/"}, {3, 3, "+++"}}) {
    std::string cells;
    for (RescueState s : grid.grid(*ByteRange::of(0, within), count)) cells += static_cast<char>(s);
    EXPECT_EQ(cells, expected);
  }

  // Covering more of the source adds untried bytes on either side.
  map.cover(*ByteRange::of(0, 12000));
  EXPECT_EQ(describe(map.areas()), "0+1000:? 1000+500:- 1500+3500:+ 5000+600:- 5600+4400:+ 10000+2000:?");

  test::TempDir dir;
  RescueMap saved(*ByteRange::of(0, 1 << 20));
  saved.set(*ByteRange::of(0, 4096), RescueState::Finished);
  saved.currentPosition = 4096;
  const std::string path = dir.file("m.map");
  ASSERT_TRUE(saved.save(path, {}));
  EXPECT_FALSE(std::filesystem::exists(path + ".part")) << "the temporary file is renamed over the map";
  std::string error;
  std::optional<RescueMap> loaded = RescueMap::load(path, error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(loaded->text(), saved.text());
  EXPECT_TRUE(!RescueMap::load(dir.file("absent.map"), error) && error.find("cannot open") != std::string::npos);
  EXPECT_FALSE(saved.save(dir.file("no/such/dir.map"), {}));
}

}  // namespace
}  // namespace dudorazu
