#include "panes/gb18030.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "panes/iconv_converter.h"
#include "panes/utf.h"

namespace corvane::gb18030 {

namespace {

using Byte = unsigned char;

// Two-byte codes: lead 81–FE, trail 40–7E or 80–FE. Four-byte codes: 81–FE, 30–39, 81–FE, 30–39,
// numbered in order; those below kFourByteBmp stand for the BMP characters that have no two-byte
// code, and from kFourByteSupplementary on they count the code points from U+10000.
constexpr std::size_t kTrails = 190;
constexpr std::size_t kTwoByteCodes = 126 * kTrails;
constexpr std::size_t kFourByteBmp = 39420;
constexpr std::size_t kFourByteSupplementary = 189000;

std::size_t twoByteIndex(Byte lead, Byte trail) {
    return (lead - 0x81u) * kTrails + (trail < 0x7F ? trail - 0x40u : trail - 0x41u);
}
bool isTrail(Byte b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }
std::size_t fourByteIndex(const Byte* p) {
    return ((p[0] - 0x81u) * 10 + (p[1] - 0x30u)) * 1260 + (p[2] - 0x81u) * 10 + (p[3] - 0x30u);
}

struct Tables {
    // For each BMP code point its code, the bytes high first: two-byte codes below 0x10000, four-byte
    // ones with their first byte, 81 or more, on top; 0 for none.
    std::vector<std::uint32_t> encode = std::vector<std::uint32_t>(0x10000, 0);
    std::vector<char16_t> decodeTwo = std::vector<char16_t>(kTwoByteCodes, 0);
    std::vector<char16_t> decodeFour = std::vector<char16_t>(kFourByteBmp, 0);
};

// Every BMP character is converted by iconv once; the decoding tables are the inverse, so a code
// read through them is always written back as the same bytes.
Tables build() {
    Tables t;
    IconvConverter converter("GB18030", "UTF-8");
    if (!converter.valid()) return t;
    std::string in;
    std::string out;
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (utf::isSurrogate(c)) continue;
        in.clear();
        out.clear();
        utf::appendUtf8(c, in);
        std::string_view rest = in;
        converter.reset();
        if (converter.convert(rest, out) != IconvConverter::Stop::Done) continue;
        const auto* b = reinterpret_cast<const Byte*>(out.data());
        if (out.size() == 2 && b[0] >= 0x81 && isTrail(b[1])) {
            t.encode[c] = std::uint32_t(b[0]) << 8 | b[1];
            t.decodeTwo[twoByteIndex(b[0], b[1])] = static_cast<char16_t>(c);
        } else if (out.size() == 4 && b[0] >= 0x81 && fourByteIndex(b) < kFourByteBmp) {
            t.encode[c] =
                std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
            t.decodeFour[fourByteIndex(b)] = static_cast<char16_t>(c);
        }
    }
    return t;
}

const Tables& tables() {
    static const Tables t = build();
    return t;
}

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
constexpr bool hasByte(std::uint64_t word, Byte b) {
    const std::uint64_t x = word ^ (kOnes * b);
    return ((x - kOnes) & ~x & kHighBits) != 0;
}

// Eight ASCII bytes that go through as they are: no CR or NUL when `text`, no LF when `newline`.
inline bool plainWord(const Byte* p, bool text, bool newline = false) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if ((word & kHighBits) != 0) return false;
    if (text && (hasByte(word, 0) || hasByte(word, '\r'))) return false;
    return !newline || !hasByte(word, '\n');
}

inline char* putUtf8(char32_t c, char* o) {
    if (c < 0x800) {
        o[0] = static_cast<char>(0xC0 | (c >> 6));
        o[1] = static_cast<char>(0x80 | (c & 0x3F));
        return o + 2;
    }
    if (c < 0x10000) {
        o[0] = static_cast<char>(0xE0 | (c >> 12));
        o[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        o[2] = static_cast<char>(0x80 | (c & 0x3F));
        return o + 3;
    }
    o[0] = static_cast<char>(0xF0 | (c >> 18));
    o[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    o[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    o[3] = static_cast<char>(0x80 | (c & 0x3F));
    return o + 4;
}

}  // namespace

std::size_t decode(std::string_view bytes, std::string& out, LineEnds* ends) {
    const Tables& t = tables();
    const Byte* p = reinterpret_cast<const Byte*>(bytes.data());
    const Byte* const end = p + bytes.size();
    std::size_t escaped = 0;
    // Through a buffer on the stack: the text grows by whole stretches.
    char buffer[16384];
    char* o = buffer;
    char* const full = buffer + sizeof buffer - 16;
    out.reserve(out.size() + bytes.size() + bytes.size() / 2);
    while (p < end) {
        if (o >= full) {
            out.append(buffer, static_cast<std::size_t>(o - buffer));
            o = buffer;
        }
        if (end - p >= 8 && plainWord(p, ends != nullptr)) {
            std::memcpy(o, p, 8);
            o += 8;
            p += 8;
            continue;
        }
        const Byte lead = *p;
        if (lead < 0x80) {
            if (ends != nullptr && lead == '\r') {
                *o++ = '\n';
                if (end - p >= 2 && p[1] == '\n') {
                    ++ends->crlf;
                    ++p;
                } else {
                    ++ends->cr;
                }
            } else if (ends != nullptr && lead == 0) {
                o = putUtf8(utf::escapedByte(0), o);
                ++escaped;
            } else {
                *o++ = static_cast<char>(lead);
            }
            ++p;
            continue;
        }
        if (lead != 0x80 && lead != 0xFF && end - p >= 2) {
            if (isTrail(p[1])) {
                const char16_t c = t.decodeTwo[twoByteIndex(lead, p[1])];
                if (c != 0) {
                    o = putUtf8(c, o);
                    p += 2;
                    continue;
                }
            } else if (p[1] >= 0x30 && p[1] <= 0x39 && end - p >= 4 && p[2] >= 0x81 && p[2] <= 0xFE &&
                       p[3] >= 0x30 && p[3] <= 0x39) {
                const std::size_t index = fourByteIndex(p);
                char32_t c = 0;
                if (index < kFourByteBmp) {
                    c = t.decodeFour[index];
                } else if (index >= kFourByteSupplementary && index - kFourByteSupplementary <= 0xFFFFF) {
                    c = static_cast<char32_t>(0x10000 + index - kFourByteSupplementary);
                }
                if (c != 0) {
                    o = putUtf8(c, o);
                    p += 4;
                    continue;
                }
            }
        }
        // Not a code: the lead byte alone is carried, and reading goes on at the next byte.
        o = putUtf8(utf::escapedByte(lead), o);
        ++escaped;
        ++p;
    }
    out.append(buffer, static_cast<std::size_t>(o - buffer));
    return escaped;
}

bool fits(std::string_view bytes, bool cut) {
    std::string text;
    const std::size_t escaped = decode(bytes, text);
    // A lead byte at the very end may have lost its trail to the cut.
    return escaped == 0 || (cut && escaped == 1 && static_cast<Byte>(bytes.back()) >= 0x81);
}

char32_t encode(std::string_view text, std::string& out, std::string_view lineEnd) {
    const Tables& t = tables();
    const Byte* p = reinterpret_cast<const Byte*>(text.data());
    const Byte* const end = p + text.size();
    const bool newlines = lineEnd != "\n";
    char buffer[16384];
    char* o = buffer;
    char* const full = buffer + sizeof buffer - 16;
    const auto flush = [&] {
        out.append(buffer, static_cast<std::size_t>(o - buffer));
        o = buffer;
    };
    const auto putCode = [&o](std::uint32_t code) {
        if (code > 0xFFFF) {
            o[0] = static_cast<char>(code >> 24);
            o[1] = static_cast<char>(code >> 16);
            o += 2;
        }
        o[0] = static_cast<char>(code >> 8);
        o[1] = static_cast<char>(code);
        o += 2;
    };
    while (p < end) {
        if (o >= full) flush();
        if (end - p >= 8 && plainWord(p, false, newlines)) {
            std::memcpy(o, p, 8);
            o += 8;
            p += 8;
            continue;
        }
        const Byte lead = *p;
        if (lead < 0x80) {
            if (lead == '\n' && newlines) {
                std::memcpy(o, lineEnd.data(), lineEnd.size());
                o += lineEnd.size();
            } else {
                *o++ = static_cast<char>(lead);
            }
            ++p;
            continue;
        }
        // Most of Chinese text: a three-byte sequence, not a surrogate's.
        if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED && end - p >= 3 && (p[1] & 0xC0) == 0x80 &&
            (p[2] & 0xC0) == 0x80) {
            const char32_t c = (char32_t(lead & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
            const std::uint32_t code = t.encode[c];
            if (code == 0) {
                flush();
                return c;
            }
            putCode(code);
            p += 3;
            continue;
        }
        std::size_t length = 0;
        const char32_t c = utf::decodeUtf8At(p, end, length);
        if (utf::isEscapedByte(c)) {
            *o++ = static_cast<char>(c - 0xDC00);
        } else if (c >= 0x10000) {
            std::size_t index = c - 0x10000 + kFourByteSupplementary;
            o[3] = static_cast<char>(0x30 + index % 10);
            index /= 10;
            o[2] = static_cast<char>(0x81 + index % 126);
            index /= 126;
            o[1] = static_cast<char>(0x30 + index % 10);
            o[0] = static_cast<char>(0x81 + index / 10);
            o += 4;
        } else {
            const std::uint32_t code = t.encode[c];
            if (code == 0) {
                flush();
                return c;
            }
            putCode(code);
        }
        p += length;
    }
    flush();
    return 0;
}

}  // namespace corvane::gb18030
