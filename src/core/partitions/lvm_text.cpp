// Slicing LVM2 text metadata. Every slice is checked against the text, so
// damaged metadata yields empty values instead of reads past its end.
#include <cstdint>

#include "core/partitions/lvm_label.h"

namespace dudorazu {

std::string_view extractBlock(std::string_view text) {
  size_t open = text.find('{');
  if (open == std::string_view::npos) return {};
  size_t depth = 0;
  for (size_t i = open; i < text.size(); ++i) {
    if (text[i] == '{') {
      ++depth;
    } else if (text[i] == '}') {
      if (--depth == 0) return text.substr(0, i + 1);
    }
  }
  return {};
}

std::string_view getValue(std::string_view text, std::string_view key) {
  size_t at = text.find(key);
  if (at == std::string_view::npos) return {};
  if (key == "stripes") {
    size_t open = text.find('[', at);
    if (open == std::string_view::npos) return {};
    size_t close = text.find(']', open + 1);
    if (close == std::string_view::npos) return {};
    return text.substr(open + 1, close - open - 1);
  }
  size_t end = text.find('\n', at);
  if (end == std::string_view::npos) return {};
  std::string_view line = text.substr(at, end - at);
  size_t equals = line.find('=');
  // The value starts after "= " (the sign and one space).
  if (equals == std::string_view::npos || equals + 2 > line.size()) return {};
  return line.substr(equals + 2);
}

uint64_t decimalValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) return UINT64_MAX;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace dudorazu
