#include "core/tools/rescue_map.h"

#include <cstdio>

#include "core/common/text.h"
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

bool RescueMap::save(const std::string& path, bool finished) const {
  std::string temporary = path + ".part";
  std::FILE* f = std::fopen(temporary.c_str(), "wb");  // "\n" stays one byte on Windows too
  if (!f) return false;
  std::string body = text(finished);
  bool ok = std::fwrite(body.data(), 1, body.size(), f) == body.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok || !platform::replaceFile(temporary, path)) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace dudorazu
