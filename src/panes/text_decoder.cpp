#include "panes/text_decoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "panes/gb18030.h"
#include "panes/iconv_converter.h"

namespace corvane {

namespace {

using Byte = unsigned char;

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

// Line ends other than a lone LF met while reading; the lone ones are counted at the end.
struct LineEnds {
    std::size_t crlf = 0;
    std::size_t cr = 0;
};

// The style most lines end with; a tie goes to LF, then to CRLF.
LineEnd styleOf(const std::string& text, const LineEnds& ends) {
    const auto all = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    const std::size_t lf = all - ends.crlf - ends.cr;
    if (ends.crlf > lf && ends.crlf >= ends.cr) return LineEnd::CrLf;
    if (ends.cr > lf && ends.cr > ends.crlf) return LineEnd::Cr;
    return LineEnd::Lf;
}

enum class Utf8Mode {
    Replace,  // each ill-formed sequence becomes U+FFFD; line ends stay
    File,     // each byte of one is escaped, NUL too; CRLF and lone CR become LF
};

// Copies UTF-8 to out in one pass. Unchanged stretches are appended whole. Returns the number of
// escaped bytes.
std::size_t copyUtf8(std::string_view in, std::string& out, Utf8Mode mode, LineEnds* ends = nullptr) {
    const bool file = mode == Utf8Mode::File;
    const Byte* const begin = reinterpret_cast<const Byte*>(in.data());
    const Byte* const end = begin + in.size();
    const Byte* p = begin;
    const Byte* pending = begin;
    std::size_t escaped = 0;
    auto flush = [&] {
        out.append(reinterpret_cast<const char*>(pending), static_cast<std::size_t>(p - pending));
    };
    out.reserve(out.size() + in.size());
    while (p < end) {
        if (end - p >= 8 && plainWord(p, file)) {
            p += 8;
            continue;
        }
        const Byte b = *p;
        if (b < 0x80) {
            if (file && (b == '\r' || b == 0)) {
                flush();
                if (b == 0) {
                    utf::appendEscapedByte(0, out);
                    ++escaped;
                } else if (p + 1 < end && p[1] == '\n') {
                    out.push_back('\n');
                    ++ends->crlf;
                    ++p;
                } else {
                    out.push_back('\n');
                    ++ends->cr;
                }
                pending = ++p;
                continue;
            }
            ++p;
            continue;
        }
        std::size_t bad = 0;
        const std::size_t length = utf::sequenceLength(p, end, bad);
        if (length != 0) {
            p += length;
            continue;
        }
        flush();
        if (file) {
            for (std::size_t i = 0; i < bad; ++i) utf::appendEscapedByte(p[i], out);
            escaped += bad;
        } else {
            out.append(utf::kReplacementUtf8);
        }
        p += bad;
        pending = p;
    }
    flush();
    return escaped;
}

// Turns the line ends of converted text into "\n" and escapes its NUL bytes, in place while there
// is no NUL. Returns the number of NULs.
std::size_t settleText(std::string& text, LineEnds& ends) {
    std::size_t nuls = 0;
    if (std::memchr(text.data(), '\0', text.size()) != nullptr) {
        std::string out;
        out.reserve(text.size() + 16);
        for (const char c : text) {
            if (c == '\0') {
                utf::appendEscapedByte(0, out);
                ++nuls;
            } else {
                out.push_back(c);
            }
        }
        text.swap(out);
    }
    if (std::memchr(text.data(), '\r', text.size()) == nullptr) return nuls;
    std::size_t to = 0;
    for (std::size_t from = 0; from < text.size(); ++from) {
        if (text[from] != '\r') {
            text[to++] = text[from];
        } else if (from + 1 < text.size() && text[from + 1] == '\n') {
            text[to++] = '\n';
            ++ends.crlf;
            ++from;
        } else {
            text[to++] = '\n';
            ++ends.cr;
        }
    }
    text.resize(to);
    return nuls;
}

std::size_t decodeUtf16(std::string_view in, bool bigEndian, std::string& out, LineEnds& ends) {
    const Byte* const p = reinterpret_cast<const Byte*>(in.data());
    const std::size_t units = in.size() / 2;
    auto unitAt = [&](std::size_t i) -> char32_t {
        const char32_t first = p[2 * i];
        const char32_t second = p[2 * i + 1];
        return bigEndian ? (first << 8 | second) : (second << 8 | first);
    };
    std::size_t escaped = 0;
    out.reserve(in.size() + in.size() / 2);
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t unit = unitAt(i);
        if (utf::isHighSurrogate(unit) && i + 1 < units && utf::isLowSurrogate(unitAt(i + 1))) {
            utf::appendUtf8(utf::combineSurrogates(unit, unitAt(i + 1)), out);
            ++i;
        } else if (utf::isSurrogate(unit) || unit == 0) {
            utf::appendEscapedByte(p[2 * i], out);
            utf::appendEscapedByte(p[2 * i + 1], out);
            escaped += 2;
        } else if (unit == '\r') {
            out.push_back('\n');
            if (i + 1 < units && unitAt(i + 1) == '\n') {
                ++ends.crlf;
                ++i;
            } else {
                ++ends.cr;
            }
        } else {
            utf::appendUtf8(unit, out);
        }
    }
    if (in.size() % 2 != 0) {
        utf::appendEscapedByte(static_cast<Byte>(in.back()), out);
        ++escaped;
    }
    return escaped;
}

// The bytes of converted text again, its escaped bytes as themselves.
std::optional<std::string> encodeWithIconv(std::string_view text, const char* iconvName) {
    IconvConverter converter(iconvName, "UTF-8");
    if (!converter.valid()) return std::nullopt;
    std::string out;
    out.reserve(text.size());
    const Byte* const begin = reinterpret_cast<const Byte*>(text.data());
    const Byte* const end = begin + text.size();
    const Byte* run = begin;
    for (const Byte* p = begin; p < end;) {
        Byte byte = 0;
        if (*p != 0xED || !utf::readEscapedByte(p, end, byte)) {
            ++p;
            continue;
        }
        std::string_view piece(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
        if (converter.convert(piece, out) != IconvConverter::Stop::Done) return std::nullopt;
        converter.finish(out);
        out.push_back(static_cast<char>(byte));
        p += 3;
        run = p;
    }
    std::string_view piece(reinterpret_cast<const char*>(run), static_cast<std::size_t>(end - run));
    if (converter.convert(piece, out) != IconvConverter::Stop::Done) return std::nullopt;
    converter.finish(out);
    return out;
}

// A character at a time, each kept only when it is written back as the bytes it was read from;
// otherwise its first byte is escaped and reading goes on at the next. For the rare file where
// reading it whole does not give the same bytes back (a code page with two codes for one
// character).
std::string decodeByCharacter(std::string_view bytes, const char* iconvName, std::size_t& escaped) {
    IconvConverter decoder("UTF-8", iconvName);
    IconvConverter encoder(iconvName, "UTF-8");
    std::string out;
    std::string character;
    std::string again;
    std::size_t at = 0;
    while (at < bytes.size()) {
        bool kept = false;
        for (std::size_t length = 1; length <= 4 && at + length <= bytes.size(); ++length) {
            const std::string_view source = bytes.substr(at, length);
            std::string_view in = source;
            character.clear();
            decoder.reset();
            const IconvConverter::Stop stop = decoder.convert(in, character);
            if (stop == IconvConverter::Stop::Incomplete) continue;
            if (stop == IconvConverter::Stop::Invalid || character.empty()) break;
            std::string_view back = character;
            again.clear();
            encoder.reset();
            if (encoder.convert(back, again) == IconvConverter::Stop::Done) encoder.finish(again);
            if (again == source) {
                out += character;
                at += length;
                kept = true;
            }
            break;
        }
        if (!kept) {
            utf::appendEscapedByte(static_cast<Byte>(bytes[at]), out);
            ++escaped;
            ++at;
        }
    }
    return out;
}

// The encodings whose converters keep a state between characters: read a character at a time
// they would not give their bytes back.
bool keepsState(std::string_view encoding) { return encoding == "ISO-2022-JP"; }

std::optional<std::string> decodeWithIconv(std::string_view bytes, std::string_view encoding,
                                           std::size_t& escaped) {
    const char* iconvName = iconvNameOf(encoding);
    if (iconvName == nullptr) return std::nullopt;
    IconvConverter converter("UTF-8", iconvName);
    if (!converter.valid()) return std::nullopt;
    std::string out;
    std::string_view rest = bytes;
    escaped = 0;
    while (!rest.empty()) {
        if (converter.convert(rest, out) == IconvConverter::Stop::Done) break;
        // An unreadable or cut-off sequence: its first byte is escaped, and reading resumes after it.
        utf::appendEscapedByte(static_cast<Byte>(rest.front()), out);
        ++escaped;
        rest.remove_prefix(1);
        converter.reset();
    }
    const std::optional<std::string> again = encodeWithIconv(out, iconvName);
    if (again && *again == bytes) return out;
    if (keepsState(encoding)) return std::nullopt;
    escaped = 0;
    return decodeByCharacter(bytes, iconvName, escaped);
}

std::string_view markOf(std::string_view encoding) {
    if (encoding == "UTF-8") return utf::kByteOrderMarkUtf8;
    if (encoding == "UTF-16LE") return "\xFF\xFE";
    if (encoding == "UTF-16BE") return "\xFE\xFF";
    if (encoding == "gb18030") return "\x84\x31\x95\x33";
    return {};
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

DecodedText decodeAs(std::string_view bytes, const TextFormat& format) {
    DecodedText result;
    result.format = format;
    const std::string_view mark = markOf(format.encoding);
    if (format.byteOrderMark && !mark.empty() && bytes.starts_with(mark)) {
        bytes.remove_prefix(mark.size());
    } else {
        result.format.byteOrderMark = false;
    }
    LineEnds ends;
    std::string& text = result.text;
    const std::string& encoding = format.encoding;
    if (encoding == "UTF-8") {
        result.unreadableBytes = copyUtf8(bytes, text, Utf8Mode::File, &ends);
    } else if (encoding == "UTF-16LE" || encoding == "UTF-16BE") {
        result.unreadableBytes = decodeUtf16(bytes, encoding == "UTF-16BE", text, ends);
    } else {
        std::size_t escaped = 0;
        std::optional<std::string> converted;
        if (encoding != "gb18030") converted = decodeWithIconv(bytes, encoding, escaped);
        if (converted) {
            text = std::move(*converted);
            result.unreadableBytes = escaped + settleText(text, ends);
        } else {
            // GB18030, and what the system cannot read faithfully: GB18030 holds every byte sequence.
            result.format.encoding = "gb18030";
            gb18030::LineEnds gbEnds;
            result.unreadableBytes = gb18030::decode(bytes, text, &gbEnds);
            ends.crlf = gbEnds.crlf;
            ends.cr = gbEnds.cr;
        }
    }
    result.format.lineEnd = styleOf(text, ends);
    return result;
}

DecodedText decodeFile(std::string_view bytes, FileKind kind) {
    return decodeAs(bytes, detectFormat(bytes, kind));
}

std::string decodeText(std::string_view bytes) { return decodeFile(bytes).text; }

CodePageDecoder::CodePageDecoder() = default;
CodePageDecoder::~CodePageDecoder() = default;

IconvConverter* CodePageDecoder::handleFor(int codePage) {
    if (std::find(kKnownCodePages.begin(), kKnownCodePages.end(), codePage) == kKnownCodePages.end()) {
        codePage = 1252;
    }
    for (auto& [page, handle] : handles_) {
        if (page == codePage) return handle.get();
    }
    auto handle = std::make_unique<IconvConverter>("UTF-8", converterName(codePage).c_str());
    if (!handle->valid()) {
        if (codePage != 1252) return handleFor(1252);
        return nullptr;
    }
    handles_.emplace_back(codePage, std::move(handle));
    return handles_.back().second.get();
}

void CodePageDecoder::append(int codePage, std::string_view bytes, std::string& out) {
    if (bytes.empty()) return;
    if (codePage == 65001) {
        copyUtf8(bytes, out, Utf8Mode::Replace);
        return;
    }
    IconvConverter* converter = handleFor(codePage);
    if (converter == nullptr) {
        // Without any converter the bytes read as Latin-1.
        for (const char c : bytes) utf::appendUtf8(static_cast<Byte>(c), out);
        return;
    }
    converter->reset();
    while (!bytes.empty()) {
        if (converter->convert(bytes, out) == IconvConverter::Stop::Done) break;
        // An unreadable or cut-off sequence: mark one byte and resume at the next.
        out.append(utf::kReplacementUtf8);
        bytes.remove_prefix(1);
        converter->reset();
    }
}

std::string decodeCodePage(int codePage, std::string_view bytes) {
    CodePageDecoder decoder;
    std::string out;
    decoder.append(codePage, bytes, out);
    return out;
}

}  // namespace corvane
