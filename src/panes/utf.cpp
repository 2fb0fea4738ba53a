#include "panes/utf.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace corvane::utf {

namespace {

using Byte = unsigned char;

constexpr char16_t kParagraphSeparator = 0x2029;  // with its neighbour U+2028, the line separator

}  // namespace

void appendEscapedByte(unsigned char byte, std::string& out) {
    const char form[3] = {'\xED', static_cast<char>(0xB0 | (byte >> 6)),
                          static_cast<char>(0x80 | (byte & 0x3F))};
    out.append(form, 3);
}

bool hasEscapedByte(std::string_view text) {
    if (text.empty()) return false;  // an empty view may have no data at all, which memchr must not see
    const auto* p = reinterpret_cast<const Byte*>(text.data());
    const Byte* const end = p + text.size();
    while (const void* found = std::memchr(p, 0xED, static_cast<std::size_t>(end - p))) {
        p = static_cast<const Byte*>(found);
        Byte byte = 0;
        if (readEscapedByte(p, end, byte)) return true;
        ++p;
    }
    return false;
}

void appendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        const char s[2] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        out.append(s, 2);
    } else if (c < 0x10000) {
        const char s[3] = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                           static_cast<char>(0x80 | (c & 0x3F))};
        out.append(s, 3);
    } else {
        const char s[4] = {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                           static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        out.append(s, 4);
    }
}

std::size_t sequenceLength(const Byte* p, const Byte* end, std::size_t& bad) {
    const Byte lead = p[0];
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    Byte low = 0x80;
    Byte high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        bad = 1;
        return 0;
    }
    std::size_t i = 1;
    for (; i < length && p + i < end; ++i) {
        const Byte b = p[i];
        const bool ok = i == 1 ? (b >= low && b <= high) : (b >= 0x80 && b <= 0xBF);
        if (!ok) break;
    }
    if (i == length) return length;
    bad = i;
    return 0;
}

bool isValidUtf8(std::string_view text) {
    const Byte* p = reinterpret_cast<const Byte*>(text.data());
    const Byte* const end = p + text.size();
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if ((word & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        std::size_t bad = 0;
        const std::size_t length = sequenceLength(p, end, bad);
        if (length == 0) return false;
        p += length;
    }
    return true;
}

char32_t decodeUtf8At(const Byte* p, const Byte* end, std::size_t& length) {
    Byte escaped = 0;
    if (readEscapedByte(p, end, escaped)) {
        length = 3;
        return escapedByte(escaped);
    }
    std::size_t bad = 0;
    length = sequenceLength(p, end, bad);
    switch (length) {
        case 1:
            return p[0];
        case 2:
            return (char32_t(p[0] & 0x1F) << 6) | (p[1] & 0x3F);
        case 3:
            return (char32_t(p[0] & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        case 4:
            return (char32_t(p[0] & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
                   (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
        default:
            length = bad;
            return kReplacementCharacter;
    }
}

std::size_t utf8ToUtf16(std::string_view text, char16_t* const out) {
    const Byte* p = reinterpret_cast<const Byte*>(text.data());
    const Byte* const end = p + text.size();
    char16_t* o = out;
    while (p < end) {
#if defined(__SSE2__)
        // Sixteen ASCII bytes at a time, most of a source file.
        if (end - p >= 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            if (_mm_movemask_epi8(bytes) == 0) {
                const __m128i zero = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(bytes, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(bytes, zero));
                p += 16;
                o += 16;
                continue;
            }
        }
#endif
        if (*p < 0x80) {
            *o++ = *p++;
            continue;
        }
        std::size_t length = 0;
        const char32_t c = decodeUtf8At(p, end, length);
        p += length;
        if (c >= 0x10000) {
            *o++ = highSurrogateOf(c);
            *o++ = lowSurrogateOf(c);
        } else {
            *o++ = static_cast<char16_t>(c);
        }
    }
    return static_cast<std::size_t>(o - out);
}

void utf16ToUtf8(std::u16string_view text, const std::function<void(std::string_view)>& sink,
                 bool separatorsAsNewlines) {
    const char16_t* in = text.data();
    const char16_t* const end = in + text.size();
    // A piece of the text at a time through a buffer that its longest encoding fits: three bytes
    // for each UTF-16 unit, one more for a surrogate pair that reaches past the piece, and room for
    // the eight bytes the ASCII step stores whatever it keeps.
    constexpr std::ptrdiff_t kPiece = 64 * 1024;
    std::vector<char> buffer(static_cast<std::size_t>(std::min<std::ptrdiff_t>(kPiece, end - in) * 3 + 8));
    // Units the three-byte loop must leave to the general one: surrogates, and the separators
    // when they become line ends.
    const char16_t separatorMask = separatorsAsNewlines ? 0xFFFE : 0xFFFF;
    while (in < end) {
        const char16_t* const pieceEnd = in + std::min(kPiece, end - in);
        char* o = buffer.data();
        while (in < pieceEnd) {
#if defined(__SSE2__)
            // Eight units at a time while they are ASCII; at the first that is not, the ASCII ones
            // before it are kept.
            if (pieceEnd - in >= 8) {
                const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
                const __m128i high = _mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80)));
                const unsigned ascii =
                    static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(units, units));
                const int kept = ascii == 0xFFFF ? 8 : __builtin_ctz(~ascii) / 2;
                in += kept;
                o += kept;
                if (kept == 8) continue;
            }
#endif
            // A run of three-byte characters, Chinese text for one, without leaving the loop.
            while (in < pieceEnd && *in >= 0x800 && !isSurrogate(*in) &&
                   (*in & separatorMask) != (0x2028 & separatorMask)) {
                const char16_t c = *in++;
                o[0] = static_cast<char>(0xE0 | (c >> 12));
                o[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                o[2] = static_cast<char>(0x80 | (c & 0x3F));
                o += 3;
            }
            if (in == pieceEnd) break;
            char32_t c = *in++;
            if (c < 0x80) {
                *o++ = static_cast<char>(c);
                continue;
            }
            if (c < 0x800) {
                *o++ = static_cast<char>(0xC0 | (c >> 6));
                *o++ = static_cast<char>(0x80 | (c & 0x3F));
                continue;
            }
            if (separatorsAsNewlines && (c | 1) == kParagraphSeparator) {
                *o++ = '\n';
                continue;
            }
            if (isHighSurrogate(c) && in < end && isLowSurrogate(*in)) {
                // A pair may straddle the end of the piece; its second unit is taken with it.
                c = combineSurrogates(c, *in++);
            } else if (isSurrogate(c) && !isEscapedByte(c)) {
                c = kReplacementCharacter;
            }
            if (c >= 0x10000) {
                *o++ = static_cast<char>(0xF0 | (c >> 18));
                *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                *o++ = static_cast<char>(0x80 | (c & 0x3F));
            } else {
                *o++ = static_cast<char>(0xE0 | (c >> 12));
                *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                *o++ = static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        sink(std::string_view(buffer.data(), static_cast<std::size_t>(o - buffer.data())));
    }
}

std::string utf16ToUtf8(std::u16string_view text, bool separatorsAsNewlines) {
    std::string out;
    out.reserve(text.size() * 3);  // untouched capacity costs no memory
    utf16ToUtf8(
        text, [&out](std::string_view piece) { out.append(piece); }, separatorsAsNewlines);
    return out;
}

}  // namespace corvane::utf
