#include "panes/text_decoder.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

namespace corvane {

namespace {

using Byte = unsigned char;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

constexpr bool hasZeroByte(std::uint64_t word) { return ((word - kOnes) & ~word & kHighBits) != 0; }

// Eight plain ASCII bytes that need no attention: the loops below skip such words whole, which is
// what keeps large files fast.
inline bool plainWord(const Byte* p, bool textMode) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if ((word & kHighBits) != 0) return false;
    return !textMode || (!hasZeroByte(word) && !hasZeroByte(word ^ (kOnes * '\r')));
}

// Length of the well-formed UTF-8 sequence at p, or 0. When 0, `bad` is the length of the maximal
// ill-formed prefix, which is replaced by one U+FFFD as Unicode recommends.
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

bool isValidUtf8(std::string_view in) {
    const Byte* p = reinterpret_cast<const Byte*>(in.data());
    const Byte* const end = p + in.size();
    while (p < end) {
        if (end - p >= 8 && plainWord(p, false)) {
            p += 8;
            continue;
        }
        std::size_t bad = 0;
        const std::size_t length = sequenceLength(p, end, bad);
        if (length == 0) return false;
        p += length;
    }
    return true;
}

// Copies UTF-8 to out in one pass. In text mode CRLF and lone CR become LF and NUL becomes U+FFFD.
// Strict: stops at the first ill-formed sequence and returns false, leaving out partly written;
// otherwise each ill-formed sequence becomes U+FFFD. Unchanged stretches are appended whole.
bool copyUtf8(std::string_view in, std::string& out, bool strict, bool textMode) {
    const Byte* const begin = reinterpret_cast<const Byte*>(in.data());
    const Byte* const end = begin + in.size();
    const Byte* p = begin;
    const Byte* pending = begin;
    auto flush = [&] {
        out.append(reinterpret_cast<const char*>(pending), static_cast<std::size_t>(p - pending));
    };
    out.reserve(out.size() + in.size());
    while (p < end) {
        if (end - p >= 8 && plainWord(p, textMode)) {
            p += 8;
            continue;
        }
        const Byte b = *p;
        if (b < 0x80) {
            if (textMode && (b == '\r' || b == 0)) {
                flush();
                if (b == 0) {
                    out.append(kReplacement);
                } else {
                    out.push_back('\n');
                    if (p + 1 < end && p[1] == '\n') ++p;
                }
                pending = ++p;
                continue;
            }
            ++p;
            continue;
        }
        std::size_t bad = 0;
        const std::size_t length = sequenceLength(p, end, bad);
        if (length != 0) {
            p += length;
            continue;
        }
        if (strict) return false;
        flush();
        out.append(kReplacement);
        p += bad;
        pending = p;
    }
    flush();
    return true;
}

std::string decodeUtf16(std::string_view in, bool bigEndian) {
    const Byte* const p = reinterpret_cast<const Byte*>(in.data());
    const std::size_t units = in.size() / 2;
    auto unitAt = [&](std::size_t i) -> std::uint32_t {
        const std::uint32_t first = p[2 * i];
        const std::uint32_t second = p[2 * i + 1];
        return bigEndian ? (first << 8 | second) : (second << 8 | first);
    };
    std::string out;
    out.reserve(in.size() + in.size() / 2);
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const std::uint32_t next = unitAt(i + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                appendCodePoint(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00), out);
                ++i;
                continue;
            }
        }
        if ((unit >= 0xD800 && unit <= 0xDFFF) || unit == 0) {
            out.append(kReplacement);
        } else if (unit == '\r') {
            out.push_back('\n');
            if (i + 1 < units && unitAt(i + 1) == '\n') ++i;
        } else {
            appendCodePoint(unit, out);
        }
    }
    if (in.size() % 2 != 0) out.append(kReplacement);
    return out;
}

// A byte-order mark, or UTF-16 told by where its NUL bytes fall: ASCII written as UTF-16 has a NUL
// in every other byte, which no UTF-8 or GB18030 text has.
std::optional<TextEncoding> markedEncoding(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom)) return TextEncoding::Utf8Bom;
    if (bytes.starts_with(kUtf16LeBom)) return TextEncoding::Utf16LeBom;
    if (bytes.starts_with(kUtf16BeBom)) return TextEncoding::Utf16BeBom;
    if (bytes.empty() || bytes.size() % 2 != 0 || std::memchr(bytes.data(), 0, bytes.size()) == nullptr) {
        return std::nullopt;
    }
    std::size_t evenNuls = 0;
    std::size_t oddNuls = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        evenNuls += bytes[i] == 0 ? 1 : 0;
        oddNuls += bytes[i + 1] == 0 ? 1 : 0;
    }
    const std::size_t units = bytes.size() / 2;
    auto many = [units](std::size_t nuls) { return nuls * 10 >= units * 4; };
    auto few = [units](std::size_t nuls) { return nuls * 10 <= units; };
    if (many(oddNuls) && few(evenNuls)) return TextEncoding::Utf16Le;
    if (many(evenNuls) && few(oddNuls)) return TextEncoding::Utf16Be;
    return std::nullopt;
}

// The code pages a rich-text file may name that the system converter is asked for; any other
// number reads as 1252, so a file cannot make us open converters without end.
constexpr std::array kKnownCodePages = {437,  737,  775,  850,  852,  855,  857,  860,  861,  862,  863,
                                        864,  865,  866,  869,  874,  932,  936,  949,  950,  1250, 1251,
                                        1252, 1253, 1254, 1255, 1256, 1257, 1258, 1361, 10000};

std::string converterName(int codePage) {
    if (codePage == 936) return "GB18030";
    if (codePage == 10000) return "MACINTOSH";
    return "CP" + std::to_string(codePage);
}

}  // namespace

void appendCodePoint(std::uint32_t c, std::string& out) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// One open iconv converter to UTF-8. When the system lacks the converter, bytes read as Latin-1.
class IconvHandle {
public:
    explicit IconvHandle(const std::string& from) : cd_(iconv_open("UTF-8", from.c_str())) {}
    ~IconvHandle() {
        if (valid()) iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    void convert(std::string_view in, std::string& out) {
        if (!valid()) {
            for (const char c : in) appendCodePoint(static_cast<Byte>(c), out);
            return;
        }
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        std::size_t written = out.size();
        out.resize(written + in.size() * 2 + 16);
        while (inLeft > 0) {
            char* outPtr = out.data() + written;
            std::size_t outLeft = out.size() - written;
            const std::size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            written = static_cast<std::size_t>(outPtr - out.data());
            if (result != static_cast<std::size_t>(-1)) break;
            if (error == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            // An unreadable or cut-off sequence: mark one byte and resume at the next.
            if (out.size() - written < kReplacement.size()) out.resize(out.size() * 2);
            std::memcpy(out.data() + written, kReplacement.data(), kReplacement.size());
            written += kReplacement.size();
            ++inPtr;
            --inLeft;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(written);
    }

private:
    iconv_t cd_;
};

CodePageDecoder::CodePageDecoder() = default;
CodePageDecoder::~CodePageDecoder() = default;

IconvHandle& CodePageDecoder::handleFor(int codePage) {
    if (std::find(kKnownCodePages.begin(), kKnownCodePages.end(), codePage) == kKnownCodePages.end()) {
        codePage = 1252;
    }
    for (auto& [page, handle] : handles_) {
        if (page == codePage) return *handle;
    }
    auto handle = std::make_unique<IconvHandle>(converterName(codePage));
    if (!handle->valid() && codePage != 1252) return handleFor(1252);
    handles_.emplace_back(codePage, std::move(handle));
    return *handles_.back().second;
}

void CodePageDecoder::append(int codePage, std::string_view bytes, std::string& out) {
    if (bytes.empty()) return;
    if (codePage == 65001) {
        copyUtf8(bytes, out, false, false);
        return;
    }
    handleFor(codePage).convert(bytes, out);
}

std::string decodeCodePage(int codePage, std::string_view bytes) {
    CodePageDecoder decoder;
    std::string out;
    decoder.append(codePage, bytes, out);
    return out;
}

TextEncoding detectEncoding(std::string_view bytes) {
    if (const auto marked = markedEncoding(bytes)) return *marked;
    return isValidUtf8(bytes) ? TextEncoding::Utf8 : TextEncoding::Gb18030;
}

std::string decodeText(std::string_view bytes) {
    std::string out;
    if (const auto marked = markedEncoding(bytes)) {
        switch (*marked) {
            case TextEncoding::Utf8Bom:
                copyUtf8(bytes.substr(kUtf8Bom.size()), out, false, true);
                return out;
            case TextEncoding::Utf16LeBom:
                return decodeUtf16(bytes.substr(kUtf16LeBom.size()), false);
            case TextEncoding::Utf16BeBom:
                return decodeUtf16(bytes.substr(kUtf16BeBom.size()), true);
            case TextEncoding::Utf16Le:
                return decodeUtf16(bytes, false);
            case TextEncoding::Utf16Be:
                return decodeUtf16(bytes, true);
            case TextEncoding::Utf8:
            case TextEncoding::Gb18030:
                break;
        }
    }
    if (copyUtf8(bytes, out, true, true)) return out;
    out.clear();
    std::string converted;
    CodePageDecoder().append(936, bytes, converted);
    copyUtf8(converted, out, false, true);
    return out;
}

}  // namespace corvane
