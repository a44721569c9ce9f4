#include "core/common/text.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "core/common/byte_order.h"

namespace dudorazu {
namespace {

void appendCodePoint(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;

}  // namespace

std::string utf16ToUtf8(const uint16_t* units, size_t count) {
  // Unpaired surrogates become U+FFFD.
  auto forEachCodePoint = [&](auto&& take) {
    for (size_t i = 0; i < count; ++i) {
      const uint32_t u = units[i];
      if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
        take(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
        ++i;
      } else {
        take(u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
      }
    }
  };
  // Made at its exact size: a load converts a name per record, a million of
  // them, and a name grown by doubling costs a second allocation and keeps
  // the slack for as long as the tree lives.
  size_t bytes = 0;
  forEachCodePoint([&](uint32_t cp) { bytes += cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; });
  std::string out(bytes, '\0');
  out.clear();
  forEachCodePoint([&](uint32_t cp) { appendCodePoint(out, cp); });
  return out;
}

std::string utf16leToUtf8(const uint8_t* bytes, size_t units) {
  std::vector<uint16_t> v(units);
  for (size_t i = 0; i < units; ++i) v[i] = le16(bytes, 2 * i);
  return utf16ToUtf8(v.data(), units);
}

size_t utf16leLength(const uint8_t* bytes, size_t maxUnits) {
  size_t n = 0;
  while (n < maxUnits && le16(bytes, 2 * n) != 0) ++n;
  return n;
}

size_t validUtf8Length(std::string_view s, size_t i, uint32_t& codePoint) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const unsigned char c = p[i];
  size_t len = 0;
  uint32_t cp = 0;
  if (c < 0x80) {
    codePoint = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  }
  if (len == 0 || i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((p[i + k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i + k] & 0x3F);
  }
  const bool overlong = (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
  if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  codePoint = cp;
  return len;
}

std::string sanitizeUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    uint32_t cp = 0;
    if (const size_t len = validUtf8Length(s, i, cp)) {
      out.append(s.substr(i, len));
      i += len;
    } else {
      appendCodePoint(out, kReplacement);
      ++i;
    }
  }
  return out;
}

std::string format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, ap2);
    out.resize(static_cast<size_t>(n));
  }
  va_end(ap2);
  return out;
}

size_t decodeUtf8(std::string_view valid, size_t at, uint32_t& cp) {
  const auto c = static_cast<unsigned char>(valid[at]);
  const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  cp = length == 1 ? c : c & (0x7F >> length);
  for (size_t k = 1; k < length && at + k < valid.size(); ++k)
    cp = (cp << 6) | (static_cast<unsigned char>(valid[at + k]) & 0x3F);
  return length;
}

bool isTerminalControl(uint32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E || cp == 0x200F ||
         (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

std::string printableText(std::string_view bytes) {
  const std::string valid = sanitizeUtf8(bytes);
  std::string out;
  out.reserve(valid.size());
  for (size_t i = 0; i < valid.size();) {
    uint32_t cp = 0;
    const size_t length = decodeUtf8(valid, i, cp);
    if (isTerminalControl(cp)) out.push_back('?');
    else out.append(valid, i, length);
    i += length;
  }
  return out;
}

bool parseDecimal(std::string_view text, uint64_t& value, uint64_t max) {
  if (text.empty()) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (digit > max || v > (max - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = v;
  return true;
}

}  // namespace dudorazu
