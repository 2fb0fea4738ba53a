#include "panes/rtf_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "panes/text_decoder.h"

namespace corvane {

namespace {

using Byte = unsigned char;

// Deeper groups are read flat: their formatting leaks out, but a file of a million '{' cannot
// make the state stack grow without bound.
constexpr std::size_t kMaxDepth = 1000;
constexpr int kNoFont = std::numeric_limits<int>::min();
constexpr int kAnsiCodePage = 1252;
constexpr int kMaxHalfPoints = 3276;  // 1638 points, the largest size a pane shows
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

enum class Kw : std::uint8_t {
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCodePage,
    DefaultFont,
    UnicodeSkip,
    Unicode,
    Binary,
    FontTable,
    ColorTable,
    Font,
    FontCharset,
    FontCodePage,
    Red,
    Green,
    Blue,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    FontSize,
    Color,
    Plain,
    Hidden,
    ParagraphDefaults,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustify,
    ParagraphBreak,
    LineBreak,
    Tab,
    Cell,
    Row,
    Character,    // stands for the fixed text in its table entry
    Destination,  // a destination the panes have no use for: its whole group is skipped
};

struct Keyword {
    std::string_view name;
    Kw kind;
    std::string_view text = {};
};

constexpr auto kKeywords = [] {
    std::array table{
        Keyword{"ansi", Kw::Ansi},
        Keyword{"mac", Kw::Mac},
        Keyword{"pc", Kw::Pc},
        Keyword{"pca", Kw::Pca},
        Keyword{"ansicpg", Kw::AnsiCodePage},
        Keyword{"deff", Kw::DefaultFont},
        Keyword{"uc", Kw::UnicodeSkip},
        Keyword{"u", Kw::Unicode},
        Keyword{"bin", Kw::Binary},
        Keyword{"fonttbl", Kw::FontTable},
        Keyword{"colortbl", Kw::ColorTable},
        Keyword{"f", Kw::Font},
        Keyword{"fcharset", Kw::FontCharset},
        Keyword{"cpg", Kw::FontCodePage},
        Keyword{"red", Kw::Red},
        Keyword{"green", Kw::Green},
        Keyword{"blue", Kw::Blue},
        Keyword{"b", Kw::Bold},
        Keyword{"i", Kw::Italic},
        Keyword{"ul", Kw::Underline},
        Keyword{"uld", Kw::Underline},
        Keyword{"uldash", Kw::Underline},
        Keyword{"uldashd", Kw::Underline},
        Keyword{"uldashdd", Kw::Underline},
        Keyword{"uldb", Kw::Underline},
        Keyword{"ulhwave", Kw::Underline},
        Keyword{"ulldash", Kw::Underline},
        Keyword{"ulth", Kw::Underline},
        Keyword{"ulthd", Kw::Underline},
        Keyword{"ulthdash", Kw::Underline},
        Keyword{"ulthdashd", Kw::Underline},
        Keyword{"ulthdashdd", Kw::Underline},
        Keyword{"ulthldash", Kw::Underline},
        Keyword{"ululdbwave", Kw::Underline},
        Keyword{"ulw", Kw::Underline},
        Keyword{"ulwave", Kw::Underline},
        Keyword{"ulnone", Kw::UnderlineNone},
        Keyword{"strike", Kw::Strike},
        Keyword{"striked", Kw::Strike},
        Keyword{"fs", Kw::FontSize},
        Keyword{"cf", Kw::Color},
        Keyword{"plain", Kw::Plain},
        Keyword{"v", Kw::Hidden},
        Keyword{"pard", Kw::ParagraphDefaults},
        Keyword{"ql", Kw::AlignLeft},
        Keyword{"qc", Kw::AlignCenter},
        Keyword{"qr", Kw::AlignRight},
        Keyword{"qj", Kw::AlignJustify},
        Keyword{"qd", Kw::AlignJustify},
        Keyword{"par", Kw::ParagraphBreak},
        Keyword{"sect", Kw::ParagraphBreak},
        Keyword{"page", Kw::ParagraphBreak},
        Keyword{"line", Kw::LineBreak},
        Keyword{"tab", Kw::Tab},
        Keyword{"cell", Kw::Cell},
        Keyword{"nestcell", Kw::Cell},
        Keyword{"row", Kw::Row},
        Keyword{"nestrow", Kw::Row},
        Keyword{"emdash", Kw::Character, "\u2014"},
        Keyword{"endash", Kw::Character, "\u2013"},
        Keyword{"lquote", Kw::Character, "\u2018"},
        Keyword{"rquote", Kw::Character, "\u2019"},
        Keyword{"ldblquote", Kw::Character, "\u201C"},
        Keyword{"rdblquote", Kw::Character, "\u201D"},
        Keyword{"bullet", Kw::Character, "\u2022"},
        Keyword{"emspace", Kw::Character, "\u2003"},
        Keyword{"enspace", Kw::Character, "\u2002"},
        Keyword{"qmspace", Kw::Character, "\u2005"},
        Keyword{"zwj", Kw::Character, "\u200D"},
        Keyword{"zwnj", Kw::Character, "\u200C"},
        Keyword{"ltrmark", Kw::Character, "\u200E"},
        Keyword{"rtlmark", Kw::Character, "\u200F"},
        Keyword{"aftnsep", Kw::Destination},
        Keyword{"aftnsepc", Kw::Destination},
        Keyword{"annotation", Kw::Destination},
        Keyword{"atnauthor", Kw::Destination},
        Keyword{"atndate", Kw::Destination},
        Keyword{"atnid", Kw::Destination},
        Keyword{"atnref", Kw::Destination},
        Keyword{"atntime", Kw::Destination},
        Keyword{"bkmkend", Kw::Destination},
        Keyword{"bkmkstart", Kw::Destination},
        Keyword{"colorschememapping", Kw::Destination},
        Keyword{"datastore", Kw::Destination},
        Keyword{"do", Kw::Destination},
        Keyword{"docvar", Kw::Destination},
        Keyword{"falt", Kw::Destination},
        Keyword{"filetbl", Kw::Destination},
        Keyword{"fldinst", Kw::Destination},
        Keyword{"footer", Kw::Destination},
        Keyword{"footerf", Kw::Destination},
        Keyword{"footerl", Kw::Destination},
        Keyword{"footerr", Kw::Destination},
        Keyword{"footnote", Kw::Destination},
        Keyword{"ftnsep", Kw::Destination},
        Keyword{"ftnsepc", Kw::Destination},
        Keyword{"generator", Kw::Destination},
        Keyword{"header", Kw::Destination},
        Keyword{"headerf", Kw::Destination},
        Keyword{"headerl", Kw::Destination},
        Keyword{"headerr", Kw::Destination},
        Keyword{"info", Kw::Destination},
        Keyword{"latentstyles", Kw::Destination},
        Keyword{"listoverridetable", Kw::Destination},
        Keyword{"listpicture", Kw::Destination},
        Keyword{"listtable", Kw::Destination},
        Keyword{"mmathPr", Kw::Destination},
        Keyword{"nonshppict", Kw::Destination},
        Keyword{"object", Kw::Destination},
        Keyword{"objdata", Kw::Destination},
        Keyword{"panose", Kw::Destination},
        Keyword{"pgdsctbl", Kw::Destination},
        Keyword{"pict", Kw::Destination},
        Keyword{"pn", Kw::Destination},
        Keyword{"pnseclvl", Kw::Destination},
        Keyword{"pntxta", Kw::Destination},
        Keyword{"pntxtb", Kw::Destination},
        Keyword{"protusertbl", Kw::Destination},
        Keyword{"revtbl", Kw::Destination},
        Keyword{"rsidtbl", Kw::Destination},
        Keyword{"shpinst", Kw::Destination},
        Keyword{"stylesheet", Kw::Destination},
        Keyword{"tc", Kw::Destination},
        Keyword{"template", Kw::Destination},
        Keyword{"themedata", Kw::Destination},
        Keyword{"userprops", Kw::Destination},
        Keyword{"wgrffmtfilter", Kw::Destination},
        Keyword{"xe", Kw::Destination},
        Keyword{"xmlnsstbl", Kw::Destination},
    };
    return table;
}();

constexpr std::size_t keywordHash(std::string_view name) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : name) hash = (hash ^ static_cast<Byte>(c)) * 16777619u;
    return hash;
}

// Control words are looked up for every token, so they sit in an open-addressing hash table
// built at compile time rather than behind a binary search of string comparisons.
constexpr std::size_t kKeywordSlotCount = 512;
constexpr std::size_t kLongestKeyword = 32;

constexpr auto kKeywordSlots = [] {
    std::array<std::int16_t, kKeywordSlotCount> slots{};
    slots.fill(-1);
    for (std::size_t i = 0; i < kKeywords.size(); ++i) {
        std::size_t slot = keywordHash(kKeywords[i].name) % kKeywordSlotCount;
        while (slots[slot] >= 0) slot = (slot + 1) % kKeywordSlotCount;
        slots[slot] = static_cast<std::int16_t>(i);
    }
    return slots;
}();

constexpr bool keywordsAreDistinct() {
    for (std::size_t i = 0; i < kKeywords.size(); ++i) {
        for (std::size_t j = i + 1; j < kKeywords.size(); ++j) {
            if (kKeywords[i].name == kKeywords[j].name) return false;
        }
    }
    return true;
}
static_assert(keywordsAreDistinct(), "each control word is listed once");
static_assert(kKeywords.size() < kKeywordSlotCount / 2, "the keyword table stays sparse");

const Keyword* findKeyword(std::string_view name) {
    if (name.size() > kLongestKeyword) return nullptr;
    for (std::size_t slot = keywordHash(name) % kKeywordSlotCount; kKeywordSlots[slot] >= 0;
         slot = (slot + 1) % kKeywordSlotCount) {
        const Keyword& keyword = kKeywords[static_cast<std::size_t>(kKeywordSlots[slot])];
        if (keyword.name == name) return &keyword;
    }
    return nullptr;
}

// Bytes that go into a run as they are; everything else takes the slow path one byte at a time.
constexpr auto kPlainText = [] {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x80; ++c) table[c] = c != '\\' && c != '{' && c != '}';
    table['\t'] = true;
    return table;
}();

// Line ends and other control characters are not text in RTF: breaks come from control words.
constexpr bool isControlCharacter(Byte b) { return b < 0x20 && b != '\t'; }

constexpr bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code page of a font's character set; 0 leaves it to the document's code page.
int charsetCodePage(int charset) {
    switch (charset) {
        case 0:
            return 1252;
        case 77:
            return 10000;
        case 128:
            return 932;
        case 129:
            return 949;
        case 130:
            return 1361;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        case 254:
            return 437;
        case 255:
            return 850;
        default:
            return 0;
    }
}

// Whether a byte opens a two-byte character in a double-byte code page.
bool isLeadByte(int codePage, Byte b) {
    switch (codePage) {
        case 932:
            return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        case 936:
        case 949:
        case 950:
        case 1361:
            return b >= 0x81 && b <= 0xFE;
        default:
            return false;
    }
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

enum class Destination : std::uint8_t { Text, FontTable, ColorTable, Skip };

// What a group saves and restores.
struct GroupState {
    int font = kNoFont;  // kNoFont: the document's default font
    int halfPoints = 0;  // 0: no size given
    int color = 0;
    int unicodeSkip = 1;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    Alignment alignment = Alignment::Left;
    Destination destination = Destination::Text;

    bool sameCharacterFormat(const GroupState& o) const {
        return font == o.font && halfPoints == o.halfPoints && color == o.color && bold == o.bold &&
               italic == o.italic && underline == o.underline && strike == o.strike;
    }
};

struct FontEntry {
    std::string name;
    int codePage = 0;  // 0: the document's
    bool complete = false;
};

class RtfParser {
public:
    explicit RtfParser(std::string_view in) : p_(in.data()), end_(in.data() + in.size()) {
        stack_.reserve(64);
    }

    RichDocument run() {
        while (p_ < end_) {
            switch (*p_) {
                case '{':
                    ++p_;
                    openGroup();
                    break;
                case '}':
                    ++p_;
                    closeGroup();
                    break;
                case '\\':
                    ++p_;
                    readControl();
                    break;
                case '\r':
                case '\n':
                    ++p_;
                    break;
                default:
                    readText();
                    break;
            }
        }
        flushBytes();
        settleSurrogate();
        if (!paragraph_.runs.empty()) {
            paragraph_.alignment = lastTextAlignment_;
            document_.paragraphs.push_back(std::move(paragraph_));
        }
        return std::move(document_);
    }

private:
    void openGroup() {
        flushBytes();
        settleSurrogate();
        skipCount_ = 0;
        if (stack_.size() >= kMaxDepth) {
            ++flatDepth_;
            return;
        }
        stack_.push_back(state_);
    }

    void closeGroup() {
        flushBytes();
        settleSurrogate();
        skipCount_ = 0;
        if (flatDepth_ > 0) {
            --flatDepth_;
            return;
        }
        if (stack_.empty()) return;  // a stray '}'
        if (!stack_.back().sameCharacterFormat(state_)) formatDirty_ = true;
        state_ = stack_.back();
        stack_.pop_back();
    }

    void readControl() {
        if (p_ >= end_) return;
        if (!isLetter(*p_)) {
            readSymbol(*p_++);
            return;
        }
        const char* const nameStart = p_;
        while (p_ < end_ && isLetter(*p_)) ++p_;
        const std::string_view name(nameStart, static_cast<std::size_t>(p_ - nameStart));
        bool hasParameter = false;
        std::int64_t parameter = 0;
        const char* q = p_;
        const bool negative = end_ - q >= 2 && *q == '-' && isDigit(q[1]);
        if (negative) ++q;
        if (q < end_ && isDigit(*q)) {
            hasParameter = true;
            constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
            while (q < end_ && isDigit(*q)) {
                if (parameter <= kLimit) parameter = parameter * 10 + (*q - '0');
                ++q;
            }
            parameter = std::min(parameter, kLimit);
            if (negative) parameter = -parameter;
            p_ = q;
        }
        if (p_ < end_ && *p_ == ' ') ++p_;
        readWord(name, hasParameter, static_cast<int>(parameter));
    }

    void readSymbol(char c) {
        if (c == '\'') {
            readHexByte();
            return;
        }
        if (c == '\r' || c == '\n') {
            readWord("par", false, 0);
            return;
        }
        if (skipCount_ > 0) {
            --skipCount_;
            return;
        }
        flushBytes();
        switch (c) {
            case '\\':
            case '{':
            case '}': {
                const char literal[] = {c};
                emitText(std::string_view(literal, 1));
                break;
            }
            case '~':
                emitText("\u00A0");
                break;
            case '-':
                emitText("\u00AD");
                break;
            case '_':
                emitText("\u2011");
                break;
            case '*':
                state_.destination = Destination::Skip;
                break;
            default:
                break;
        }
    }

    void readHexByte() {
        const int high = end_ - p_ >= 1 ? hexValue(p_[0]) : -1;
        const int low = end_ - p_ >= 2 ? hexValue(p_[1]) : -1;
        if (skipCount_ > 0) {
            --skipCount_;
            if (high >= 0 && low >= 0) p_ += 2;
            return;
        }
        if (high < 0 || low < 0) return;  // not a byte: what follows reads as text
        p_ += 2;
        addByte(static_cast<Byte>(high * 16 + low));
    }

    void readText() {
        if (state_.destination == Destination::Text && skipCount_ == 0 && pendingBytes_.empty() &&
            highSurrogate_ == 0) {
            const char* const start = p_;
            while (p_ < end_ && kPlainText[static_cast<Byte>(*p_)]) ++p_;
            if (p_ != start) {
                appendToDocument(std::string_view(start, static_cast<std::size_t>(p_ - start)));
                return;
            }
        }
        readPlainByte(static_cast<Byte>(*p_++));
    }

    void readPlainByte(Byte b) {
        if (isControlCharacter(b)) return;
        if (skipCount_ > 0) {
            --skipCount_;
            return;
        }
        // A double-byte character may be written as \'hh for the lead byte and a plain trail byte.
        if (b >= 0x80 || (pendingLead_ && b >= 0x40)) {
            addByte(b);
            return;
        }
        flushBytes();
        if (b == ';' && state_.destination == Destination::FontTable) {
            if (FontEntry* entry = tableEntry()) entry->complete = true;
            return;
        }
        if (b == ';' && state_.destination == Destination::ColorTable) {
            colors_.push_back(colorGiven_ ? red_ | green_ << 8 | blue_ << 16 : kDefaultColor);
            red_ = green_ = blue_ = 0;
            colorGiven_ = false;
            return;
        }
        const char literal[] = {static_cast<char>(b)};
        emitText(std::string_view(literal, 1));
    }

    void readWord(std::string_view name, bool hasParameter, int parameter) {
        const Keyword* keyword = findKeyword(name);
        if (keyword != nullptr && keyword->kind == Kw::Binary) {
            const std::size_t length =
                hasParameter && parameter > 0 ? static_cast<std::size_t>(parameter) : 0;
            p_ += std::min(length, static_cast<std::size_t>(end_ - p_));
        }
        if (skipCount_ > 0) {
            --skipCount_;
            return;
        }
        flushBytes();
        if (keyword == nullptr) {
            settleSurrogate();
            return;
        }
        if (keyword->kind != Kw::Unicode) settleSurrogate();
        switch (state_.destination) {
            case Destination::Skip:
                return;
            case Destination::FontTable:
                readFontTableWord(keyword->kind, hasParameter, parameter);
                return;
            case Destination::ColorTable:
                readColorTableWord(keyword->kind, parameter);
                return;
            case Destination::Text:
                break;
        }
        const bool on = !hasParameter || parameter != 0;
        switch (keyword->kind) {
            case Kw::Ansi:
                codePage_ = kAnsiCodePage;
                break;
            case Kw::Mac:
                codePage_ = 10000;
                break;
            case Kw::Pc:
                codePage_ = 437;
                break;
            case Kw::Pca:
                codePage_ = 850;
                break;
            case Kw::AnsiCodePage:
                if (parameter > 0) codePage_ = parameter;
                break;
            case Kw::DefaultFont:
                defaultFont_ = parameter;
                formatDirty_ = true;
                break;
            case Kw::UnicodeSkip:
                state_.unicodeSkip = hasParameter ? std::max(parameter, 0) : 1;
                break;
            case Kw::Unicode:
                readUnicode(parameter);
                break;
            case Kw::FontTable:
                state_.destination = Destination::FontTable;
                tableFont_ = kNoFont;
                break;
            case Kw::ColorTable:
                state_.destination = Destination::ColorTable;
                colors_.clear();
                colorGiven_ = false;
                break;
            case Kw::Font:
                setCharacterFormat(state_.font, parameter);
                break;
            case Kw::Bold:
                setCharacterFormat(state_.bold, on);
                break;
            case Kw::Italic:
                setCharacterFormat(state_.italic, on);
                break;
            case Kw::Underline:
                setCharacterFormat(state_.underline, on);
                break;
            case Kw::UnderlineNone:
                setCharacterFormat(state_.underline, false);
                break;
            case Kw::Strike:
                setCharacterFormat(state_.strike, on);
                break;
            case Kw::Hidden:
                state_.hidden = on;
                break;
            case Kw::FontSize:
                setCharacterFormat(state_.halfPoints,
                                   hasParameter ? std::clamp(parameter, 0, kMaxHalfPoints) : 24);
                break;
            case Kw::Color:
                setCharacterFormat(state_.color, std::max(parameter, 0));
                break;
            case Kw::Plain: {
                GroupState plain;
                state_.font = plain.font;
                state_.halfPoints = plain.halfPoints;
                state_.color = plain.color;
                state_.bold = state_.italic = state_.underline = state_.strike = state_.hidden = false;
                formatDirty_ = true;
                break;
            }
            case Kw::ParagraphDefaults:
            case Kw::AlignLeft:
                state_.alignment = Alignment::Left;
                break;
            case Kw::AlignCenter:
                state_.alignment = Alignment::Center;
                break;
            case Kw::AlignRight:
                state_.alignment = Alignment::Right;
                break;
            case Kw::AlignJustify:
                state_.alignment = Alignment::Justify;
                break;
            case Kw::ParagraphBreak:
            case Kw::Row:
                endParagraph();
                break;
            case Kw::LineBreak:
                appendToDocument("\u2028");
                break;
            case Kw::Tab:
                appendToDocument("\t");
                break;
            case Kw::Cell:
                cellEnded_ = true;
                break;
            case Kw::Character:
                appendToDocument(keyword->text);
                break;
            case Kw::Destination:
                state_.destination = Destination::Skip;
                break;
            case Kw::Binary:
            case Kw::FontCharset:
            case Kw::FontCodePage:
            case Kw::Red:
            case Kw::Green:
            case Kw::Blue:
                break;
        }
    }

    void readFontTableWord(Kw kind, bool hasParameter, int parameter) {
        switch (kind) {
            case Kw::Font:
                tableFont_ = hasParameter ? parameter : 0;
                fonts_[tableFont_] = FontEntry{};
                cachedFont_ = kNoFont;
                break;
            case Kw::FontCharset:
                if (FontEntry* entry = tableEntry()) entry->codePage = charsetCodePage(parameter);
                break;
            case Kw::FontCodePage:
                if (FontEntry* entry = tableEntry(); entry != nullptr && parameter > 0)
                    entry->codePage = parameter;
                break;
            case Kw::Unicode:
                readUnicode(parameter);
                break;
            case Kw::UnicodeSkip:
                state_.unicodeSkip = hasParameter ? std::max(parameter, 0) : 1;
                break;
            case Kw::Destination:
                state_.destination = Destination::Skip;
                break;
            default:
                break;
        }
    }

    void readColorTableWord(Kw kind, int parameter) {
        const int component = std::clamp(parameter, 0, 255);
        switch (kind) {
            case Kw::Red:
                red_ = component;
                break;
            case Kw::Green:
                green_ = component;
                break;
            case Kw::Blue:
                blue_ = component;
                break;
            default:
                return;
        }
        colorGiven_ = true;
    }

    template <typename T, typename V>
    void setCharacterFormat(T& field, V value) {
        if (field == value) return;
        field = value;
        formatDirty_ = true;
    }

    // \uN carries a signed 16-bit UTF-16 unit; the next unicodeSkip characters are the fallback
    // for readers without Unicode and are skipped.
    void readUnicode(int parameter) {
        const std::int32_t unit = parameter < 0 ? parameter + 65536 : parameter;
        skipCount_ = state_.unicodeSkip;
        if (unit < 0 || unit > 0xFFFF) {
            emitText(kReplacement);
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
            settleSurrogate();
            highSurrogate_ = static_cast<std::uint32_t>(unit);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            if (highSurrogate_ == 0) {
                emitText(kReplacement);
                return;
            }
            const std::uint32_t codePoint = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (unit - 0xDC00);
            highSurrogate_ = 0;
            std::string text;
            appendCodePoint(codePoint, text);
            emitText(text);
        } else if (!isControlCharacter(static_cast<Byte>(unit < 0x80 ? unit : 0x80))) {
            std::string text;
            appendCodePoint(static_cast<std::uint32_t>(unit), text);
            emitText(text);
        }
    }

    // A high surrogate still waiting when anything but its low half comes has nothing to pair with.
    void settleSurrogate() {
        if (highSurrogate_ == 0) return;
        highSurrogate_ = 0;
        emitText(kReplacement);
    }

    void addByte(Byte b) {
        if (state_.destination != Destination::Text && state_.destination != Destination::FontTable) return;
        settleSurrogate();
        if (pendingBytes_.empty()) {
            pendingCodePage_ = textCodePage();
            pendingLead_ = false;
        }
        pendingBytes_.push_back(static_cast<char>(b));
        pendingLead_ = !pendingLead_ && isLeadByte(pendingCodePage_, b);
    }

    // Bytes in the code page are decoded together, so a two-byte character written as two \'hh
    // escapes comes out as one character.
    void flushBytes() {
        if (pendingBytes_.empty()) return;
        decoded_.clear();
        decoder_.append(pendingCodePage_, pendingBytes_, decoded_);
        pendingBytes_.clear();
        pendingLead_ = false;
        std::erase_if(decoded_, [](char c) { return isControlCharacter(static_cast<Byte>(c)); });
        emitText(decoded_);
    }

    int textCodePage() {
        int font = state_.font == kNoFont ? defaultFont_ : state_.font;
        if (state_.destination == Destination::FontTable) font = tableFont_;
        const FontEntry* entry = findFont(font);
        return entry != nullptr && entry->codePage != 0 ? entry->codePage : codePage_;
    }

    // Text asks for the same font again and again; map nodes stay put, so one remembered entry does.
    FontEntry* findFont(int font) {
        if (font == kNoFont) return nullptr;
        if (font != cachedFont_) {
            const auto it = fonts_.find(font);
            cachedEntry_ = it != fonts_.end() ? &it->second : nullptr;
            cachedFont_ = font;
        }
        return cachedEntry_;
    }

    FontEntry* tableEntry() { return findFont(tableFont_); }

    void emitText(std::string_view text) {
        settleSurrogate();
        switch (state_.destination) {
            case Destination::Text:
                appendToDocument(text);
                break;
            case Destination::FontTable:
                if (FontEntry* entry = tableEntry(); entry != nullptr && !entry->complete)
                    entry->name.append(text);
                break;
            case Destination::ColorTable:
            case Destination::Skip:
                break;
        }
    }

    void appendToDocument(std::string_view text) {
        if (state_.hidden || text.empty()) return;
        std::string& run = currentRun();
        if (cellEnded_) {
            run.push_back('\t');
            cellEnded_ = false;
        }
        run.append(text);
        lastTextAlignment_ = state_.alignment;
    }

    // The run that text in the current format goes to: the paragraph's last run while the format
    // is unchanged, so consecutive text in one format stays one run.
    std::string& currentRun() {
        if (formatDirty_) {
            format_ = resolvedFormat();
            formatDirty_ = false;
            runOpen_ = !paragraph_.runs.empty() && paragraph_.runs.back().format == format_;
        }
        if (!runOpen_) {
            paragraph_.runs.push_back(TextRun{{}, format_});
            runOpen_ = true;
        }
        return paragraph_.runs.back().text;
    }

    CharFormat resolvedFormat() {
        CharFormat format;
        const int font = state_.font == kNoFont ? defaultFont_ : state_.font;
        if (const FontEntry* entry = findFont(font)) format.fontName = trimmed(entry->name);
        format.fontSize = static_cast<float>(state_.halfPoints) / 2;
        format.bold = state_.bold;
        format.italic = state_.italic;
        format.underline = state_.underline;
        format.strike = state_.strike;
        // Entry 0 is the automatic colour by convention, whatever the table says.
        if (state_.color > 0 && static_cast<std::size_t>(state_.color) < colors_.size()) {
            format.color = colors_[static_cast<std::size_t>(state_.color)];
        }
        return format;
    }

    void endParagraph() {
        paragraph_.alignment = state_.alignment;
        document_.paragraphs.push_back(std::move(paragraph_));
        paragraph_ = Paragraph{};
        runOpen_ = false;
        cellEnded_ = false;
    }

    const char* p_;
    const char* const end_;

    GroupState state_;
    std::vector<GroupState> stack_;
    std::size_t flatDepth_ = 0;
    int skipCount_ = 0;

    int codePage_ = kAnsiCodePage;
    int defaultFont_ = kNoFont;
    std::unordered_map<int, FontEntry> fonts_;
    int cachedFont_ = kNoFont;
    FontEntry* cachedEntry_ = nullptr;
    int tableFont_ = kNoFont;
    std::vector<std::int32_t> colors_;
    std::int32_t red_ = 0;
    std::int32_t green_ = 0;
    std::int32_t blue_ = 0;
    bool colorGiven_ = false;

    CodePageDecoder decoder_;
    std::string pendingBytes_;
    int pendingCodePage_ = kAnsiCodePage;
    bool pendingLead_ = false;
    std::string decoded_;
    std::uint32_t highSurrogate_ = 0;

    RichDocument document_;
    Paragraph paragraph_;
    CharFormat format_;
    bool formatDirty_ = true;
    bool runOpen_ = false;
    bool cellEnded_ = false;
    Alignment lastTextAlignment_ = Alignment::Left;
};

std::string_view skipLeadIn(std::string_view bytes) {
    if (bytes.starts_with(kUtf8Bom)) bytes.remove_prefix(kUtf8Bom.size());
    const auto start = bytes.find_first_not_of(" \t\r\n");
    return start == std::string_view::npos ? std::string_view{} : bytes.substr(start);
}

}  // namespace

bool looksLikeRtf(std::string_view bytes) { return skipLeadIn(bytes).starts_with("{\\rtf"); }

RichDocument readRtf(std::string_view bytes) { return RtfParser(skipLeadIn(bytes)).run(); }

}  // namespace corvane
