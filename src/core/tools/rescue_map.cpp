#include "core/tools/rescue_map.h"

#include <algorithm>
#include <cstdio>

#include "core/common/text.h"
#include "core/device/command_output.h"
#include "platform/files.h"

namespace dudorazu {

void RescueMap::mark(uint64_t size, bool good) {
  // next_ never passes the domain's end, so the rest is a range.
  const uint64_t rest = domain_.end() - next_;
  const ByteRange marked = *ByteRange::of(next_, std::min(size, rest));
  if (marked.empty()) return;
  char status = good ? '+' : '-';
  if (!blocks_.empty() && blocks_.back().status == status && blocks_.back().bytes.end() == next_)
    blocks_.back().bytes = *ByteRange::between(blocks_.back().bytes.start(), marked.end());
  else
    blocks_.push_back({marked, status});
  next_ = marked.end();
}

std::string RescueMap::text(bool finished) const {
  auto hex = [](uint64_t v) { return format("0x%08llX", static_cast<unsigned long long>(v)); };
  std::string out = "# Mapfile. Created by dudorazu\n";
  out += "# current_pos  current_status  current_pass\n";
  const uint64_t current = domain_.contains(next_) ? next_ : domain_.empty() ? domain_.start() : domain_.end() - 1;
  out += hex(current) + "     " + (finished ? "+" : "?") + "               1\n";
  out += "#      pos        size  status\n";
  for (const Block& b : blocks_) out += hex(b.bytes.start()) + "  " + hex(b.bytes.length()) + "  " + b.status + "\n";
  if (next_ < domain_.end()) out += hex(next_) + "  " + hex(domain_.end() - next_) + "  ?\n";
  return out;
}

bool RescueMap::save(const std::string& path, bool finished, const std::vector<CommandPath>& inputs) const {
  const std::string temporary = path + ".part";
  CommandOutput out = createCommandOutput({temporary, "the mapfile's temporary file", ByteRange::from(0), false}, inputs,
                                          {{path, "the mapfile", ByteRange::from(0), false}});
  if (!out.file) return false;
  bool ok = writeWhole(*out.file, text(finished));
  out.file.reset();
  if (!ok || !platform::replaceFile(temporary, path)) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace dudorazu
