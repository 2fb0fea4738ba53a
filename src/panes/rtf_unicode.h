#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "panes/text_decoder.h"

// The rich-text reader's UTF-16 and UTF-8 arithmetic, all in this one place.
namespace corvane::rtf {

inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

constexpr bool isHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool isLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

constexpr std::uint32_t combineSurrogates(std::uint32_t high, std::uint32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// Appends a code point (at most U+10FFFF, no surrogate) as UTF-8.
inline void appendUtf8(std::uint32_t codePoint, std::string& out) { appendCodePoint(codePoint, out); }

// The longest start of well-formed UTF-8 text that fits in `limit` bytes: a cut never splits a
// character.
inline std::string_view utf8Prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace corvane::rtf
