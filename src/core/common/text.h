#pragma once
// Text helpers shared by every module. Texts are UTF-8 std::string; UTF-16
// from disk is converted here and nowhere else.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace dudorazu {

// Converts `count` UTF-16 code units. Unpaired surrogates become U+FFFD.
// Nothing stops at a zero unit: callers decide where a name ends.
std::string utf16ToUtf8(const uint16_t* units, size_t count);

// The same over little-endian bytes as stored on disk (2 bytes per unit).
std::string utf16leToUtf8(const uint8_t* bytes, size_t units);

// Little-endian UTF-16 code units up to (not including) the first zero unit,
// at most `maxUnits`.
size_t utf16leLength(const uint8_t* bytes, size_t maxUnits);

// Replaces every byte sequence that is not valid UTF-8 by U+FFFD, so a label
// read as raw bytes can be printed and put into JSON safely.
std::string sanitizeUtf8(std::string_view bytes);

// The length of the valid UTF-8 sequence starting at byte `at` of raw bytes,
// with its code point; 0 when the bytes there are not one (as sanitizeUtf8
// judges them: overlong forms, surrogates and stray bytes are not).
size_t validUtf8Length(std::string_view bytes, size_t at, uint32_t& codePoint);

// The code point starting at byte `at` of valid UTF-8 (as sanitizeUtf8
// returns it); returns its length in bytes.
size_t decodeUtf8(std::string_view valid, size_t at, uint32_t& codePoint);

// True for the code points a terminal obeys rather than shows: C0 and C1
// controls, DEL, and the marks that reorder text (bidirectional overrides,
// embeddings, isolates and marks).
bool isTerminalControl(uint32_t codePoint);

// Text from a disk or a backup file (a label, a name, a path) made safe to
// print as text: invalid UTF-8 becomes U+FFFD and every terminal control
// becomes "?", so it cannot break a line, move the cursor, set a title or
// reorder what follows it.
std::string printableText(std::string_view bytes);

// A number typed or stored as plain decimal digits (no sign, no space, no
// base prefix), at most `max`. False for anything else, for an empty text
// and for a value past `max`, so no caller sees a wrapped number.
bool parseDecimal(std::string_view text, uint64_t& value, uint64_t max = UINT64_MAX);

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace dudorazu
