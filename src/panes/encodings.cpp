#include "panes/encodings.h"

#include <uchardet/uchardet.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "panes/gb18030.h"
#include "panes/utf.h"

namespace corvane {

namespace {

using Byte = unsigned char;

struct Encoding {
    std::string_view name;
    const char* iconvName;    // null: read and written by the program's own code
    std::string_view labels;  // separated by spaces
};

// The Encoding Standard's encodings and labels, with the iconv converter that reads each. Big5 is
// read as Microsoft's code page 950, Shift_JIS as 932 and EUC-KR as 949, the supersets pages are
// written in. GBK's labels read as gb18030, its superset, whose own codec is the program's.
constexpr std::array kEncodings = {
    Encoding{"UTF-8", nullptr, "unicode-1-1-utf-8 unicode11utf8 unicode20utf8 utf-8 utf8 x-unicode20utf8"},
    Encoding{"IBM866", "CP866", "866 cp866 csibm866 ibm866"},
    Encoding{"ISO-8859-2", "ISO-8859-2",
             "csisolatin2 iso-8859-2 iso-ir-101 iso8859-2 iso88592 iso_8859-2 iso_8859-2:1987 l2 latin2"},
    Encoding{"ISO-8859-3", "ISO-8859-3",
             "csisolatin3 iso-8859-3 iso-ir-109 iso8859-3 iso88593 iso_8859-3 iso_8859-3:1988 l3 latin3"},
    Encoding{"ISO-8859-4", "ISO-8859-4",
             "csisolatin4 iso-8859-4 iso-ir-110 iso8859-4 iso88594 iso_8859-4 iso_8859-4:1988 l4 latin4"},
    Encoding{
        "ISO-8859-5", "ISO-8859-5",
        "csisolatincyrillic cyrillic iso-8859-5 iso-ir-144 iso8859-5 iso88595 iso_8859-5 iso_8859-5:1988"},
    Encoding{"ISO-8859-6", "ISO-8859-6",
             "arabic asmo-708 csiso88596e csiso88596i csisolatinarabic ecma-114 iso-8859-6 iso-8859-6-e "
             "iso-8859-6-i iso-ir-127 iso8859-6 iso88596 iso_8859-6 iso_8859-6:1987"},
    Encoding{"ISO-8859-7", "ISO-8859-7",
             "csisolatingreek ecma-118 elot_928 greek greek8 iso-8859-7 iso-ir-126 iso8859-7 iso88597 "
             "iso_8859-7 iso_8859-7:1987 sun_eu_greek"},
    Encoding{"ISO-8859-8", "ISO-8859-8",
             "csiso88598e csisolatinhebrew hebrew iso-8859-8 iso-8859-8-e iso-ir-138 iso8859-8 iso88598 "
             "iso_8859-8 iso_8859-8:1988 visual"},
    Encoding{"ISO-8859-8-I", "ISO-8859-8", "csiso88598i iso-8859-8-i logical"},
    Encoding{"ISO-8859-10", "ISO-8859-10",
             "csisolatin6 iso-8859-10 iso-ir-157 iso8859-10 iso885910 l6 latin6"},
    Encoding{"ISO-8859-13", "ISO-8859-13", "iso-8859-13 iso8859-13 iso885913"},
    Encoding{"ISO-8859-14", "ISO-8859-14", "iso-8859-14 iso8859-14 iso885914"},
    Encoding{"ISO-8859-15", "ISO-8859-15", "csisolatin9 iso-8859-15 iso8859-15 iso885915 iso_8859-15 l9"},
    Encoding{"ISO-8859-16", "ISO-8859-16", "iso-8859-16"},
    Encoding{"KOI8-R", "KOI8-R", "cskoi8r koi koi8 koi8-r koi8_r"},
    Encoding{"KOI8-U", "KOI8-U", "koi8-ru koi8-u"},
    Encoding{"macintosh", "MACINTOSH", "csmacintosh mac macintosh x-mac-roman"},
    Encoding{"windows-874", "CP874", "dos-874 iso-8859-11 iso8859-11 iso885911 tis-620 windows-874"},
    Encoding{"windows-1250", "CP1250", "cp1250 windows-1250 x-cp1250"},
    Encoding{"windows-1251", "CP1251", "cp1251 windows-1251 x-cp1251"},
    Encoding{"windows-1252", "CP1252",
             "ansi_x3.4-1968 ascii cp1252 cp819 csisolatin1 ibm819 iso-8859-1 iso-ir-100 iso8859-1 iso88591 "
             "iso_8859-1 iso_8859-1:1987 l1 latin1 us-ascii windows-1252 x-cp1252"},
    Encoding{"windows-1253", "CP1253", "cp1253 windows-1253 x-cp1253"},
    Encoding{
        "windows-1254", "CP1254",
        "cp1254 csisolatin5 iso-8859-9 iso-ir-148 iso8859-9 iso88599 iso_8859-9 iso_8859-9:1989 l5 latin5 "
        "windows-1254 x-cp1254"},
    Encoding{"windows-1255", "CP1255", "cp1255 windows-1255 x-cp1255"},
    Encoding{"windows-1256", "CP1256", "cp1256 windows-1256 x-cp1256"},
    Encoding{"windows-1257", "CP1257", "cp1257 windows-1257 x-cp1257"},
    Encoding{"windows-1258", "CP1258", "cp1258 windows-1258 x-cp1258"},
    Encoding{"x-mac-cyrillic", "MAC-CYRILLIC", "x-mac-cyrillic x-mac-ukrainian"},
    Encoding{"gb18030", nullptr,
             "chinese csgb2312 csiso58gb231280 gb2312 gb_2312 gb_2312-80 gbk iso-ir-58 x-gbk gb18030"},
    Encoding{"Big5", "CP950", "big5 big5-hkscs cn-big5 csbig5 x-x-big5"},
    Encoding{"EUC-JP", "EUC-JP", "cseucpkdfmtjapanese euc-jp x-euc-jp"},
    Encoding{"ISO-2022-JP", "ISO-2022-JP", "csiso2022jp iso-2022-jp"},
    Encoding{"Shift_JIS", "CP932", "csshiftjis ms932 ms_kanji shift-jis shift_jis sjis windows-31j x-sjis"},
    Encoding{"EUC-KR", "CP949",
             "cseuckr csksc56011987 euc-kr iso-ir-149 korean ks_c_5601-1987 ks_c_5601-1989 ksc5601 ksc_5601 "
             "windows-949"},
    Encoding{"UTF-16BE", nullptr, "unicodefffe utf-16be"},
    Encoding{"UTF-16LE", nullptr, "csunicode iso-10646-ucs-2 ucs-2 unicode unicodefeff utf-16 utf-16le"},
    // Read as the HTML standard's prescan has it.
    Encoding{"x-user-defined", nullptr, "x-user-defined"},
};

constexpr bool isSpace(Byte b) { return b == 0x09 || b == 0x0A || b == 0x0C || b == 0x0D || b == 0x20; }
constexpr Byte lower(Byte b) { return b >= 'A' && b <= 'Z' ? static_cast<Byte>(b + 32) : b; }

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(lower(static_cast<Byte>(c)));
    return out;
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
    if (text.size() - std::min(at, text.size()) < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lower(static_cast<Byte>(text[at + i])) != static_cast<Byte>(prefix[i])) return false;
    }
    return true;
}

// A declaration of UTF-16 in a page that was read as ASCII cannot be true; the standard reads
// such a page as UTF-8, and x-user-defined as windows-1252.
std::optional<std::string> declared(std::optional<std::string> encoding) {
    if (!encoding) return encoding;
    if (*encoding == "UTF-16LE" || *encoding == "UTF-16BE") return std::string("UTF-8");
    if (*encoding == "x-user-defined") return std::string("windows-1252");
    return encoding;
}

// One attribute of a tag, as the prescan reads it; empty name: no more attributes.
struct Attribute {
    std::string name;
    std::string value;
};

class Prescan {
public:
    explicit Prescan(std::string_view bytes)
        : b_(bytes.substr(0, std::min<std::size_t>(bytes.size(), 1024))) {}

    std::optional<std::string> run() {
        while (at_ < b_.size()) {
            if (b_.substr(at_).starts_with("<!--")) {
                const std::size_t close = b_.find("-->", at_ + 2);
                if (close == std::string_view::npos) return std::nullopt;
                at_ = close + 3;
                continue;
            }
            if (startsWithNoCase(b_, at_, "<meta") && at_ + 5 < b_.size() &&
                (isSpace(byte(at_ + 5)) || byte(at_ + 5) == '/')) {
                at_ += 6;
                if (auto found = meta()) return found;
                continue;
            }
            if (byte(at_) == '<' && at_ + 1 < b_.size()) {
                const std::size_t letter = byte(at_ + 1) == '/' ? at_ + 2 : at_ + 1;
                if (letter < b_.size() && isAsciiLetter(byte(letter))) {
                    at_ = letter;
                    while (at_ < b_.size() && !isSpace(byte(at_)) && byte(at_) != '>') ++at_;
                    while (attribute()) {
                    }
                    ++at_;
                    continue;
                }
                if (byte(at_ + 1) == '!' || byte(at_ + 1) == '/' || byte(at_ + 1) == '?') {
                    const std::size_t close = b_.find('>', at_ + 1);
                    if (close == std::string_view::npos) return std::nullopt;
                    at_ = close + 1;
                    continue;
                }
            }
            ++at_;
        }
        return std::nullopt;
    }

private:
    static bool isAsciiLetter(Byte b) { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); }
    Byte byte(std::size_t i) const { return static_cast<Byte>(b_[i]); }

    std::optional<std::string> meta() {
        std::vector<std::string> seen;
        bool gotPragma = false;
        std::optional<bool> needPragma;
        std::optional<std::string> charset;
        Attribute a;
        while (attribute(&a)) {
            if (std::find(seen.begin(), seen.end(), a.name) != seen.end()) continue;
            seen.push_back(a.name);
            if (a.name == "http-equiv") {
                gotPragma = gotPragma || a.value == "content-type";
            } else if (a.name == "content") {
                const auto label = charsetFromContent(a.value);
                auto encoding = label ? encodingForLabel(*label) : std::nullopt;
                if (encoding && !charset) {
                    charset = std::move(encoding);
                    needPragma = true;
                }
            } else if (a.name == "charset") {
                charset = encodingForLabel(a.value);
                needPragma = false;
            }
        }
        if (!needPragma || (*needPragma && !gotPragma) || !charset) return std::nullopt;
        return declared(charset);
    }

    // The standard's "get an attribute": names and values come lowered.
    bool attribute(Attribute* out = nullptr) {
        Attribute a;
        while (at_ < b_.size() && (isSpace(byte(at_)) || byte(at_) == '/')) ++at_;
        if (at_ >= b_.size() || byte(at_) == '>') return false;
        for (;; ++at_) {
            if (at_ >= b_.size()) return false;
            const Byte c = byte(at_);
            if (c == '=' && !a.name.empty()) {
                ++at_;
                return value(a, out);
            }
            if (isSpace(c)) break;
            if (c == '/' || c == '>') return give(a, out);
            a.name.push_back(static_cast<char>(lower(c)));
        }
        while (at_ < b_.size() && isSpace(byte(at_))) ++at_;
        if (at_ >= b_.size()) return false;
        if (byte(at_) != '=') return give(a, out);
        ++at_;
        return value(a, out);
    }

    bool value(Attribute& a, Attribute* out) {
        while (at_ < b_.size() && isSpace(byte(at_))) ++at_;
        if (at_ >= b_.size()) return false;
        const Byte first = byte(at_);
        if (first == '"' || first == '\'') {
            for (++at_; at_ < b_.size(); ++at_) {
                if (byte(at_) == first) {
                    ++at_;
                    return give(a, out);
                }
                a.value.push_back(static_cast<char>(lower(byte(at_))));
            }
            return false;
        }
        if (first == '>') return give(a, out);
        for (; at_ < b_.size(); ++at_) {
            const Byte c = byte(at_);
            if (isSpace(c) || c == '>') return give(a, out);
            a.value.push_back(static_cast<char>(lower(c)));
        }
        return false;
    }

    static bool give(Attribute& a, Attribute* out) {
        if (out != nullptr) *out = std::move(a);
        return true;
    }

    // The standard's "extracting a character encoding from a meta element".
    static std::optional<std::string> charsetFromContent(std::string_view content) {
        std::size_t at = 0;
        for (;;) {
            const std::size_t found = content.find("charset", at);
            if (found == std::string_view::npos) return std::nullopt;
            at = found + 7;
            while (at < content.size() && isSpace(static_cast<Byte>(content[at]))) ++at;
            if (at >= content.size() || content[at] != '=') continue;
            ++at;
            while (at < content.size() && isSpace(static_cast<Byte>(content[at]))) ++at;
            if (at >= content.size()) return std::nullopt;
            const char first = content[at];
            if (first == '"' || first == '\'') {
                const std::size_t close = content.find(first, at + 1);
                if (close == std::string_view::npos) return std::nullopt;
                return std::string(content.substr(at + 1, close - at - 1));
            }
            std::size_t end = at;
            while (end < content.size() && !isSpace(static_cast<Byte>(content[end])) && content[end] != ';')
                ++end;
            return std::string(content.substr(at, end - at));
        }
    }

    std::string_view b_;
    std::size_t at_ = 0;
};

constexpr std::string_view kGb18030Mark = "\x84\x31\x95\x33";

// How many bytes are needed before a guess is made by content, and how far it looks.
constexpr std::size_t kSample = 64 * 1024;

std::size_t firstNonAscii(std::string_view bytes, bool& sawEscape) {
    const Byte* const begin = reinterpret_cast<const Byte*>(bytes.data());
    const Byte* p = begin;
    const Byte* const end = p + bytes.size();
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if ((word & 0x8080808080808080ULL) != 0) break;
        // An ESC byte: ISO-2022-JP is seven-bit.
        const std::uint64_t x = word ^ 0x1B1B1B1B1B1B1B1BULL;
        sawEscape = sawEscape || (((x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL) != 0);
        p += 8;
    }
    for (; p < end && *p < 0x80; ++p) {
        if (*p == 0x1B) sawEscape = true;
    }
    return static_cast<std::size_t>(p - begin);
}

// UTF-16 told without a mark. ASCII written as UTF-16 has a NUL in every other byte; Chinese or
// Japanese hardly has any, so there the units themselves are judged: in one byte order nearly all
// of them are letters and punctuation of the common scripts, while GB18030, Big5 or Shift_JIS bytes
// read as UTF-16 fall mostly in Hangul, private use or unpaired surrogates.
std::optional<std::string> utf16WithoutMark(std::string_view bytes, bool validUtf8) {
    const std::string_view sample = bytes.substr(0, std::min(bytes.size(), kSample) & ~std::size_t{1});
    const std::size_t units = sample.size() / 2;
    if (units < 4) return std::nullopt;
    const Byte* p = reinterpret_cast<const Byte*>(sample.data());
    std::size_t nuls[2] = {0, 0};
    std::size_t likely[2] = {0, 0};  // little, big endian
    const auto plausible = [](char32_t u) {
        return (u >= 0x20 && u < 0x7F) || u == 0x09 || u == 0x0A || u == 0x0D || (u >= 0xA0 && u < 0x250) ||
               (u >= 0x370 && u < 0x530) || (u >= 0x2000 && u < 0x2070) || (u >= 0x3000 && u < 0x3100) ||
               (u >= 0x4E00 && u < 0xA000) || (u >= 0xFF00 && u < 0xFFF0) || u == 0xFEFF;
    };
    for (int order = 0; order < 2; ++order) {
        for (std::size_t i = 0; i < units; ++i) {
            const Byte a = p[2 * i];
            const Byte b = p[2 * i + 1];
            const char32_t u = order == 0 ? (char32_t(b) << 8 | a) : (char32_t(a) << 8 | b);
            if (order == 0) nuls[0] += a == 0 ? 1 : 0, nuls[1] += b == 0 ? 1 : 0;
            if (plausible(u)) {
                ++likely[order];
            } else if (utf::isHighSurrogate(u) && i + 1 < units) {
                const char32_t next = order == 0 ? (char32_t(p[2 * i + 3]) << 8 | p[2 * i + 2])
                                                 : (char32_t(p[2 * i + 2]) << 8 | p[2 * i + 3]);
                if (utf::isLowSurrogate(next)) likely[order] += 2, ++i;
            }
        }
    }
    auto many = [units](std::size_t n) { return n * 10 >= units * 4; };
    auto few = [units](std::size_t n) { return n * 10 <= units; };
    if (many(nuls[1]) && few(nuls[0])) return std::string("UTF-16LE");
    if (many(nuls[0]) && few(nuls[1])) return std::string("UTF-16BE");
    // Text that is valid UTF-8 is not taken for UTF-16: ASCII letters in pairs read as CJK.
    if (validUtf8) return std::nullopt;
    if (likely[0] * 100 >= units * 95 && likely[1] * 100 < units * 80) return std::string("UTF-16LE");
    if (likely[1] * 100 >= units * 95 && likely[0] * 100 < units * 80) return std::string("UTF-16BE");
    return std::nullopt;
}

// Whether UTF-8 fits a sample that starts at the first non-ASCII byte: four in five of its
// sequences or more well formed. A file with a stray byte or a character cut off at its end is
// still UTF-8; GB18030 or Big5 bytes form a valid sequence only now and then.
bool utf8Fits(std::string_view sample, bool sampleIsTheRest, bool& valid) {
    const Byte* p = reinterpret_cast<const Byte*>(sample.data());
    const Byte* const end = p + sample.size();
    std::size_t good = 0;
    std::size_t bad = 0;
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        std::size_t badLength = 0;
        const std::size_t length = utf::sequenceLength(p, end, badLength);
        if (length != 0) {
            ++good;
            p += length;
            continue;
        }
        // A sequence cut by the end of the sample, not of the file, is not held against it.
        if (!sampleIsTheRest && p + badLength == end) break;
        ++bad;
        p += badLength;
    }
    valid = bad == 0;
    return good > 0 && bad * 4 <= good;
}

struct DetectorDeleter {
    void operator()(uchardet_t detector) const { uchardet_delete(detector); }
};

// The statistical detector's guess, mapped to an encoding the program reads.
std::optional<std::string> guessLegacy(std::string_view sample) {
    const std::unique_ptr<struct uchardet, DetectorDeleter> detector(uchardet_new());
    if (!detector) return std::nullopt;
    if (uchardet_handle_data(detector.get(), sample.data(), sample.size()) != 0) return std::nullopt;
    uchardet_data_end(detector.get());
    const char* name = uchardet_get_charset(detector.get());
    if (name == nullptr || *name == '\0') return std::nullopt;
    const std::string guess = lowered(name);
    // Names the detector gives that the Encoding Standard spells otherwise.
    if (guess == "mac-cyrillic") return std::string("x-mac-cyrillic");
    if (guess == "uhc") return std::string("EUC-KR");
    if (guess == "utf-8" || guess == "ascii") return std::nullopt;
    auto found = encodingForLabel(guess);
    if (found && (*found == "UTF-16LE" || *found == "UTF-16BE" || *found == "x-user-defined"))
        return std::nullopt;
    return found;
}

bool isMultiByte(std::string_view encoding) {
    for (const char* name : {"gb18030", "Big5", "EUC-JP", "ISO-2022-JP", "Shift_JIS", "EUC-KR"}) {
        if (encoding == name) return true;
    }
    return false;
}

const Encoding* find(std::string_view name) {
    for (const Encoding& encoding : kEncodings) {
        if (encoding.name == name) return &encoding;
    }
    return nullptr;
}

}  // namespace

FileKind fileKindOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view name = path.substr(slash == std::string_view::npos ? 0 : slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return FileKind::Other;
    const std::string extension = lowered(name.substr(dot + 1));
    for (const char* html : {"html", "htm", "xhtml", "xht", "shtml"}) {
        if (extension == html) return FileKind::Html;
    }
    return extension == "css" ? FileKind::Css : FileKind::Other;
}

std::optional<std::string> encodingForLabel(std::string_view label) {
    while (!label.empty() && isSpace(static_cast<Byte>(label.front()))) label.remove_prefix(1);
    while (!label.empty() && isSpace(static_cast<Byte>(label.back()))) label.remove_suffix(1);
    if (label.empty()) return std::nullopt;
    const std::string wanted = lowered(label);
    for (const Encoding& encoding : kEncodings) {
        std::string_view labels = encoding.labels;
        while (!labels.empty()) {
            const std::size_t space = labels.find(' ');
            if (labels.substr(0, space) == wanted) return std::string(encoding.name);
            if (space == std::string_view::npos) break;
            labels.remove_prefix(space + 1);
        }
    }
    return std::nullopt;
}

std::optional<std::string> prescanHtmlCharset(std::string_view bytes) { return Prescan(bytes).run(); }

std::optional<std::string> cssCharset(std::string_view bytes) {
    constexpr std::string_view kStart = "@charset \"";
    if (!bytes.starts_with(kStart)) return std::nullopt;
    const std::string_view rest = bytes.substr(kStart.size(), 1024 - kStart.size());
    const std::size_t close = rest.find("\";");
    if (close == std::string_view::npos) return std::nullopt;
    return declared(encodingForLabel(rest.substr(0, close)));
}

const char* iconvNameOf(std::string_view encoding) {
    const Encoding* found = find(encoding);
    return found != nullptr ? found->iconvName : nullptr;
}

TextFormat detectFormat(std::string_view bytes, FileKind kind) {
    TextFormat format;
    const auto marked = [&format](const char* encoding) {
        format.encoding = encoding;
        format.byteOrderMark = true;
        return format;
    };
    if (bytes.starts_with(utf::kByteOrderMarkUtf8)) return marked("UTF-8");
    if (bytes.starts_with("\xFF\xFE")) return marked("UTF-16LE");
    if (bytes.starts_with("\xFE\xFF")) return marked("UTF-16BE");
    if (bytes.starts_with(kGb18030Mark)) return marked("gb18030");

    std::optional<std::string> found;
    if (kind == FileKind::Html) {
        found = prescanHtmlCharset(bytes);
    } else {
        found = cssCharset(bytes);
        // A page under another name is still a page when it says so at its start.
        if (!found && kind == FileKind::Other) {
            std::size_t start = 0;
            while (start < bytes.size() && start < 1024 && isSpace(static_cast<Byte>(bytes[start]))) ++start;
            if (startsWithNoCase(bytes, start, "<!doctype html") || startsWithNoCase(bytes, start, "<html") ||
                startsWithNoCase(bytes, start, "<head") || startsWithNoCase(bytes, start, "<meta")) {
                found = prescanHtmlCharset(bytes);
            }
        }
    }
    if (found) {
        format.encoding = *found;
        return format;
    }

    bool sawEscape = false;
    const std::size_t first = firstNonAscii(bytes, sawEscape);
    const std::string_view sample = bytes.substr(first, kSample);
    bool validUtf8 = false;
    const bool fits =
        first < bytes.size() && utf8Fits(sample, first + sample.size() == bytes.size(), validUtf8);
    if (first == bytes.size()) validUtf8 = true;
    if (auto utf16 = utf16WithoutMark(bytes, validUtf8)) {
        format.encoding = *utf16;
        return format;
    }
    if (first == bytes.size() && !sawEscape) return format;  // ASCII: UTF-8 as much as anything
    if (fits) return format;
    // The detector sees the text from a little before its first non-ASCII byte.
    const std::size_t from = first > 1024 ? first - 1024 : 0;
    const std::string_view text = bytes.substr(from, kSample);
    if (auto guess = guessLegacy(text)) {
        // On short Chinese text the detector often settles for a Western code page; text that is
        // GB18030 throughout is read as the Chinese it most likely is.
        const bool chinese = !isMultiByte(*guess) && gb18030::fits(text, from + text.size() < bytes.size());
        format.encoding = chinese ? "gb18030" : *guess;
        return format;
    }
    format.encoding = first == bytes.size() ? "UTF-8" : "gb18030";
    return format;
}

}  // namespace corvane
