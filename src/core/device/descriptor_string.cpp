// Identification strings of a storage descriptor. Some devices report them
// as hexadecimal text of the real characters; those are decoded.
#include <cctype>
#include <cstring>
#include <optional>

#include "core/device/disk_catalogue.h"

namespace dudorazu {
namespace {

bool isPrintable(unsigned char c) { return c >= 0x20 && c < 0x7F; }
bool isBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int hexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The bytes the hexadecimal text stands for; nothing when it is not such a
// text. A zero byte ends the string, as it would end a C string.
std::optional<std::string> decodeHex(std::string_view text) {
  std::string out;
  bool ended = false;
  int high = -1;
  for (unsigned char c : text) {
    unsigned char lower = isBlank(c) ? '0' : static_cast<unsigned char>(std::tolower(c));
    int digit = hexDigit(lower);
    if (digit < 0) return std::nullopt;
    if (high < 0) {
      high = digit;
      continue;
    }
    auto byte = static_cast<unsigned char>(high * 16 + digit);
    high = -1;
    if (byte != 0 && !isPrintable(byte)) return std::nullopt;
    if (byte == 0) ended = true;
    if (!ended) out.push_back(static_cast<char>(byte));
  }
  return out;
}

std::string trimmed(const std::string& s) {
  size_t first = 0;
  while (first < s.size() && isBlank(static_cast<unsigned char>(s[first]))) ++first;
  size_t last = s.size();
  while (last > first && isBlank(static_cast<unsigned char>(s[last - 1]))) --last;
  return s.substr(first, last - first);
}

}  // namespace

std::string decodeDescriptorString(const uint8_t* descriptor, size_t size, uint32_t offset) {
  if (offset < 1 || offset >= size) return {};
  const char* start = reinterpret_cast<const char*>(descriptor) + offset;
  std::string_view text(start, strnlen(start, size - offset));
  if (std::optional<std::string> decoded = decodeHex(text)) return trimmed(*decoded);
  for (unsigned char c : text)
    if (!isPrintable(c)) return {};
  return trimmed(std::string(text));
}

}  // namespace dudorazu
