#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// The UTF-8 and UTF-16 arithmetic of the whole program: the readers, the writers and the Qt side
// use these and nothing of their own.
namespace corvane::utf {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;
inline constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
inline constexpr std::string_view kByteOrderMarkUtf8 = "\xEF\xBB\xBF";

constexpr bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
constexpr bool isSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }
// The code point a high and a low surrogate stand for together.
constexpr char32_t combineSurrogates(char32_t high, char32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}
constexpr char16_t highSurrogateOf(char32_t codePoint) {
    return static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10));
}
constexpr char16_t lowSurrogateOf(char32_t codePoint) {
    return static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
}

// A byte that a file's encoding cannot read travels through the text as one lone low surrogate,
// U+DC00 plus the byte, and becomes that byte again when the file is written, as Python's
// "surrogateescape" does. No character is a lone surrogate, so nothing else is taken for one. In
// the program's UTF-8 text it has the three-byte form of a surrogate, ED B0 80 to ED B3 BF.
constexpr char32_t escapedByte(unsigned char byte) { return 0xDC00 + byte; }
constexpr bool isEscapedByte(char32_t codePoint) { return codePoint >= 0xDC00 && codePoint <= 0xDCFF; }
void appendEscapedByte(unsigned char byte, std::string& out);
// Whether the text carries any escaped byte.
bool hasEscapedByte(std::string_view text);
// Whether p starts the three-byte form of an escaped byte; the byte goes to `byte`.
inline bool readEscapedByte(const unsigned char* p, const unsigned char* end, unsigned char& byte) {
    if (end - p < 3 || p[0] != 0xED || (p[1] & 0xFC) != 0xB0 || (p[2] & 0xC0) != 0x80) return false;
    byte = static_cast<unsigned char>(((p[1] & 0x03) << 6) | (p[2] & 0x3F));
    return true;
}

// The longest start of well-formed UTF-8 text that fits in `limit` bytes: a cut never splits a
// character.
inline std::string_view utf8Prefix(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// Appends a code point, at most U+10FFFF, as UTF-8. A surrogate gets its three-byte form, so that
// an escaped byte stays one.
void appendUtf8(char32_t codePoint, std::string& out);

// The length of the well-formed UTF-8 sequence at p, or 0 when it is ill-formed; then `bad` is the
// length of its longest ill-formed start (Unicode's "maximal subpart"), at least 1.
std::size_t sequenceLength(const unsigned char* p, const unsigned char* end, std::size_t& bad);
bool isValidUtf8(std::string_view text);

// The code point at p and the length of its sequence in the program's text (UTF-8 with escaped
// bytes); an ill-formed sequence reads as U+FFFD over its maximal subpart.
char32_t decodeUtf8At(const unsigned char* p, const unsigned char* end, std::size_t& length);

// The program's text as UTF-16 in `out`, which has room for text.size() units; returns how many
// were written. Escaped bytes become their lone surrogates.
std::size_t utf8ToUtf16(std::string_view text, char16_t* out);

// UTF-16 as the program's text, handed to `sink` a piece of at most 64 K units at a time. A lone
// surrogate that is an escaped byte stays one, any other becomes U+FFFD. With
// `separatorsAsNewlines`, the paragraph and line separators U+2029 and U+2028 become "\n".
void utf16ToUtf8(std::u16string_view text, const std::function<void(std::string_view)>& sink,
                 bool separatorsAsNewlines);
std::string utf16ToUtf8(std::u16string_view text, bool separatorsAsNewlines = false);

}  // namespace corvane::utf
