#include "core/device/rescue_map.h"

#include <algorithm>
#include <cstdio>

#include "core/common/text.h"
#include "core/device/command_output.h"
#include "core/device/open_device.h"
#include "platform/files.h"

namespace dudorazu {
namespace {

bool isBlockState(char c) { return c == '?' || c == '*' || c == '/' || c == '-' || c == '+'; }

// A number as the mapfile's authors may write it: C++ integer syntax
// (0x hexadecimal, a leading 0 octal, else decimal), never wrapped.
std::optional<uint64_t> parseNumber(std::string_view word, bool decimalOnly) {
  unsigned base = 10;
  if (!decimalOnly && word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    base = 16;
    word.remove_prefix(2);
  } else if (!decimalOnly && word.size() > 1 && word[0] == '0') {
    base = 8;
    word.remove_prefix(1);
  }
  if (word.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : word) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return std::nullopt;
    if (digit >= base || value > (UINT64_MAX - digit) / base) return std::nullopt;
    value = value * base + digit;
  }
  return value;
}

// The words of a line before its comment: '#' starts one at the line's
// start or after white space.
std::vector<std::string_view> wordsOf(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i == line.size() || line[i] == '#') break;
    size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    words.push_back(line.substr(start, i - start));
  }
  return words;
}

int severity(RescueState s) {
  switch (s) {
    case RescueState::Finished: return 0;
    case RescueState::NonTried: return 1;
    case RescueState::NonTrimmed: return 2;
    case RescueState::NonScraped: return 3;
    case RescueState::Bad: return 4;
  }
  return 0;
}

}  // namespace

RescueMap::RescueMap(const ByteRange& extent) : extent_(extent) {
  if (!extent.empty()) areas_[extent.start()] = {extent.end(), RescueState::NonTried};
  totals_.nonTried = extent.length();
  currentPosition = extent.start();
}

std::optional<RescueMap> RescueMap::parse(const std::string& text, std::string& error) {
  if (text.size() > kMaxMapfileBytes) {
    error = "the mapfile is larger than any rescue needs";
    return std::nullopt;
  }
  RescueMap map;
  bool statusSeen = false;
  uint64_t lineNumber = 0;
  std::optional<uint64_t> next;  // where the next block must begin
  auto fail = [&](const std::string& why) {
    error = format("line %llu of the mapfile: ", static_cast<unsigned long long>(lineNumber)) + why;
    return std::nullopt;
  };
  size_t at = 0;
  while (at < text.size()) {
    size_t eol = text.find('\n', at);
    if (eol == std::string::npos) eol = text.size();
    std::string_view line(text.data() + at, eol - at);
    at = eol + 1;
    ++lineNumber;
    std::vector<std::string_view> words = wordsOf(line);
    if (words.empty()) continue;
    if (!statusSeen) {
      // The status line: position, phase character, and (since ddrescue
      // 1.20) the pass.
      if (words.size() < 2 || words.size() > 3 || words[1].size() != 1) return fail("not a status line");
      std::optional<uint64_t> pos = parseNumber(words[0], false);
      const char status = words[1][0];
      if (!pos) return fail("the current position is not a number");
      if (!isBlockState(status) && status != 'F' && status != 'G') return fail("unknown current status");
      std::optional<uint64_t> pass = words.size() == 3 ? parseNumber(words[2], true) : std::optional<uint64_t>(1);
      if (!pass || *pass == 0 || *pass > 1000000) return fail("the current pass is not a positive decimal number");
      map.currentPosition = *pos;
      map.currentStatus = status;
      map.currentPass = static_cast<uint32_t>(*pass);
      statusSeen = true;
      continue;
    }
    if (words.size() != 3 || words[2].size() != 1 || !isBlockState(words[2][0])) return fail("not a block line");
    std::optional<uint64_t> pos = parseNumber(words[0], false), size = parseNumber(words[1], false);
    if (!pos || !size) return fail("a position or size is not a number");
    std::optional<ByteRange> block = ByteRange::of(*pos, *size);
    if (!block) return fail("the block ends past 64 bits");
    if (block->empty()) return fail("a block of size 0");
    if (next && *pos != *next) return fail(*pos < *next ? "blocks overlap or are out of order" : "a gap between blocks");
    next = block->end();
    const RescueState state = static_cast<RescueState>(words[2][0]);
    map.account(state, block->length(), true);
    if (map.areas_.empty()) map.extent_ = *ByteRange::of(*pos, 0);
    // Neighbours of one state are merged, as we would have written them.
    if (!map.areas_.empty() && std::prev(map.areas_.end())->second.state == state)
      std::prev(map.areas_.end())->second.end = block->end();
    else
      map.areas_[block->start()] = {block->end(), state};
    map.extent_ = *ByteRange::between(map.extent_.start(), block->end());
  }
  if (!statusSeen) {
    lineNumber = 0;
    return fail("no status line (is this a mapfile?)");
  }
  return map;
}

std::optional<RescueMap> RescueMap::load(const std::string& path, std::string& error) {
  std::unique_ptr<SectorDevice> file = openDevice(path, OpenMode::Read);
  if (!file || platform::pathKind(path) != platform::PathKind::RegularFile) {
    error = "cannot open the mapfile " + printableText(path);
    return std::nullopt;
  }
  const uint64_t size = file->size();
  if (size > kMaxMapfileBytes) {
    error = "the mapfile is larger than any rescue needs";
    return std::nullopt;
  }
  std::string text(static_cast<size_t>(size), '\0');
  if (file->readAt(0, text.data(), text.size()) != text.size()) {
    error = "cannot read the mapfile " + printableText(path);
    return std::nullopt;
  }
  return parse(text, error);
}

void RescueMap::cover(const ByteRange& bytes) {
  if (bytes.empty() || extent_.contains(bytes)) return;
  if (areas_.empty()) {
    RescueMap fresh(bytes);
    fresh.currentPosition = currentPosition;
    fresh.currentStatus = currentStatus;
    fresh.currentPass = currentPass;
    *this = std::move(fresh);
    return;
  }
  const uint64_t start = std::min(extent_.start(), bytes.start()), end = std::max(extent_.end(), bytes.end());
  if (start < extent_.start()) areas_[start] = {extent_.start(), RescueState::NonTried};
  if (end > extent_.end()) areas_[extent_.end()] = {end, RescueState::NonTried};
  account(RescueState::NonTried, (extent_.start() - start) + (end - extent_.end()), true);
  const uint64_t oldStart = extent_.start(), oldEnd = extent_.end();
  extent_ = *ByteRange::between(start, end);
  mergeAround(oldStart);
  mergeAround(oldEnd);
}

void RescueMap::splitAt(uint64_t position) {
  auto it = areas_.upper_bound(position);
  if (it == areas_.begin()) return;
  --it;
  if (it->first == position || it->second.end <= position) return;
  areas_[position] = it->second;
  it->second.end = position;
}

// Joins the area starting at `position` with the one before it when their
// states match.
void RescueMap::mergeAround(uint64_t position) {
  auto it = areas_.find(position);
  if (it == areas_.end() || it == areas_.begin()) return;
  auto before = std::prev(it);
  if (before->second.state != it->second.state || before->second.end != it->first) return;
  before->second.end = it->second.end;
  areas_.erase(it);
}

void RescueMap::set(const ByteRange& bytes, RescueState state) {
  const ByteRange part = bytes.intersection(extent_);
  if (part.empty()) return;
  splitAt(part.start());
  splitAt(part.end());
  const auto first = areas_.lower_bound(part.start()), last = areas_.lower_bound(part.end());
  for (auto it = first; it != last; ++it) account(it->second.state, it->second.end - it->first, false);
  areas_.erase(first, last);
  areas_[part.start()] = {part.end(), state};
  account(state, part.length(), true);
  mergeAround(part.end());
  mergeAround(part.start());
}

void RescueMap::account(RescueState state, uint64_t bytes, bool add) {
  uint64_t* total = nullptr;
  switch (state) {
    case RescueState::Finished: total = &totals_.rescued; break;
    case RescueState::NonTried: total = &totals_.nonTried; break;
    case RescueState::NonTrimmed: total = &totals_.nonTrimmed; break;
    case RescueState::NonScraped: total = &totals_.nonScraped; break;
    case RescueState::Bad: total = &totals_.bad; break;
  }
  if (total) *total = add ? *total + bytes : *total - bytes;
}

RescueState RescueMap::stateAt(uint64_t position) const {
  auto it = areas_.upper_bound(position);
  if (it == areas_.begin()) return RescueState::NonTried;
  --it;
  return position < it->second.end ? it->second.state : RescueState::NonTried;
}

std::vector<RescueArea> RescueMap::areas() const {
  std::vector<RescueArea> out;
  out.reserve(areas_.size());
  for (const auto& [start, s] : areas_) out.push_back({*ByteRange::between(start, s.end), s.state});
  return out;
}

std::vector<RescueArea> RescueMap::areasWithin(const ByteRange& within) const {
  std::vector<RescueArea> out;
  if (within.empty()) return out;
  auto add = [&](const ByteRange& r, RescueState state) {
    if (r.empty()) return;
    if (!out.empty() && out.back().state == state && out.back().bytes.end() == r.start())
      out.back().bytes = *ByteRange::between(out.back().bytes.start(), r.end());
    else
      out.push_back({r, state});
  };
  add(within.intersection(*ByteRange::between(0, extent_.start())), RescueState::NonTried);
  auto it = areas_.upper_bound(within.start());
  if (it != areas_.begin()) --it;
  for (; it != areas_.end() && it->first < within.end(); ++it)
    add(within.intersection(*ByteRange::between(it->first, it->second.end)), it->second.state);
  add(within.intersection(ByteRange::from(extent_.end())), RescueState::NonTried);
  return out;
}

std::optional<ByteRange> RescueMap::nextArea(RescueState state, uint64_t position, bool forwards,
                                             const ByteRange& within) const {
  if (forwards) {
    auto it = areas_.upper_bound(position);
    if (it != areas_.begin()) --it;
    for (; it != areas_.end() && it->first < within.end(); ++it) {
      if (it->second.state != state || it->second.end <= position) continue;
      ByteRange r = within.intersection(*ByteRange::between(std::max(it->first, position), it->second.end));
      if (!r.empty()) return r;
    }
    return std::nullopt;
  }
  auto it = areas_.lower_bound(position);
  while (it != areas_.begin()) {
    --it;
    if (it->second.end <= within.start()) break;
    if (it->second.state != state) continue;
    ByteRange r = within.intersection(*ByteRange::between(it->first, std::min(it->second.end, position)));
    if (!r.empty()) return r;
  }
  return std::nullopt;
}

RescueCounts RescueMap::counts(const ByteRange& within) const {
  RescueCounts c;
  for (const RescueArea& a : areasWithin(within)) {
    const uint64_t n = a.bytes.length();
    switch (a.state) {
      case RescueState::Finished: c.rescued += n; break;
      case RescueState::NonTried: c.nonTried += n; break;
      case RescueState::NonTrimmed: c.nonTrimmed += n; break;
      case RescueState::NonScraped: c.nonScraped += n; break;
      case RescueState::Bad:
        c.bad += n;
        ++c.badAreas;
        break;
    }
  }
  return c;
}

std::vector<ByteRange> RescueMap::unfinished(const ByteRange& within) const {
  std::vector<ByteRange> out;
  for (const RescueArea& a : areasWithin(within)) {
    if (a.state == RescueState::Finished) continue;
    if (!out.empty() && out.back().end() == a.bytes.start())
      out.back() = *ByteRange::between(out.back().start(), a.bytes.end());
    else
      out.push_back(a.bytes);
  }
  return out;
}

std::vector<RescueState> RescueMap::grid(const ByteRange& within, size_t cells) const {
  return rescueGrid(areasWithin(within), within, cells);
}

std::vector<RescueState> rescueGrid(const std::vector<RescueArea>& areas, const ByteRange& within, size_t cells) {
  std::vector<RescueState> out(cells, RescueState::Finished);
  if (cells == 0 || within.empty()) return out;
  // Cell k covers [start + k * length / cells, start + (k + 1) * length / cells).
  const unsigned __int128 length = within.length();
  auto cellOf = [&](uint64_t position) {
    return static_cast<size_t>(static_cast<unsigned __int128>(position - within.start()) * cells / length);
  };
  for (const RescueArea& whole : areas) {
    const ByteRange bytes = whole.bytes.intersection(within);
    if (whole.state == RescueState::Finished || bytes.empty()) continue;
    const size_t first = cellOf(bytes.start()), last = std::min(cells - 1, cellOf(bytes.end() - 1));
    for (size_t k = first; k <= last; ++k)
      if (severity(whole.state) > severity(out[k])) out[k] = whole.state;
  }
  return out;
}

std::string RescueMap::text() const {
  auto hex = [](uint64_t v) { return format("0x%08llX", static_cast<unsigned long long>(v)); };
  std::string out = "# Mapfile. Created by dudorazu\n";
  out += "# current_pos  current_status  current_pass\n";
  out += hex(currentPosition) + "     " + currentStatus + "               " + std::to_string(currentPass) + "\n";
  out += "#      pos        size  status\n";
  for (const auto& [start, s] : areas_)
    out += hex(start) + "  " + hex(s.end - start) + "  " + static_cast<char>(s.state) + "\n";
  return out;
}

bool RescueMap::save(const std::string& path, const std::vector<CommandPath>& inputs) const {
  const std::string temporary = path + ".part";
  CommandOutput out = createCommandOutput({temporary, "the mapfile's temporary file", ByteRange::from(0), false}, inputs,
                                          {{path, "the mapfile", ByteRange::from(0), false}});
  if (!out.file) return false;
  bool ok = writeWhole(*out.file, text());
  out.file.reset();
  if (!ok || !platform::replaceFile(temporary, path)) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace dudorazu
