#include "core/tools/rescue_map.h"

#include <cstdio>

#include "core/common/text.h"
#include "core/device/command_output.h"
#include "platform/files.h"

namespace dudorazu {

void RescueMap::mark(uint64_t size, bool good) {
  if (size == 0) return;
  char status = good ? '+' : '-';
  if (!blocks_.empty() && blocks_.back().status == status && blocks_.back().pos + blocks_.back().size == next_)
    blocks_.back().size += size;
  else
    blocks_.push_back({next_, size, status});
  next_ += size;
}

std::string RescueMap::text(bool finished) const {
  auto hex = [](uint64_t v) { return format("0x%08llX", static_cast<unsigned long long>(v)); };
  std::string out = "# Mapfile. Created by dudorazu\n";
  out += "# current_pos  current_status  current_pass\n";
  out += hex(next_ < end_ ? next_ : (end_ > start_ ? end_ - 1 : start_)) + "     " + (finished ? "+" : "?") + "               1\n";
  out += "#      pos        size  status\n";
  for (const Block& b : blocks_) out += hex(b.pos) + "  " + hex(b.size) + "  " + b.status + "\n";
  if (next_ < end_) out += hex(next_) + "  " + hex(end_ - next_) + "  ?\n";
  return out;
}

bool RescueMap::save(const std::string& path, bool finished, const std::vector<CommandPath>& inputs) const {
  const std::string temporary = path + ".part";
  CommandOutput out = createCommandOutput({temporary, "the mapfile's temporary file", 0, UINT64_MAX, false}, inputs,
                                          {{path, "the mapfile", 0, UINT64_MAX, false}});
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
