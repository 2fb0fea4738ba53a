#include "panes/rtf_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "panes/rtf_code_pages.h"
#include "panes/rtf_document_builder.h"
#include "panes/rtf_group_state.h"
#include "panes/rtf_keywords.h"
#include "panes/utf.h"
#include "panes/text_decoder.h"

// The parser: groups, destinations, and the control words of the text. What a group saves, the
// keyword table, code pages and the output each have a file of their own.
namespace corvane {

namespace {

using rtf::Associated;
using rtf::CharState;
using rtf::CharType;
using rtf::Destination;
using rtf::GroupState;
using rtf::kNoFont;
using rtf::Kw;
using Byte = unsigned char;

// Deeper groups are read flat: their formatting leaks out, but a file of a million '{' cannot
// make the state stack grow without bound.
constexpr std::size_t kMaxDepth = 1000;
constexpr int kAnsiCodePage = 1252;
constexpr int kMaxHalfPoints = 3276;  // 1638 points, the largest size a pane shows
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

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

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Longer names are cut: no font has one, and the table keeps each name whole.
constexpr std::size_t kMaxFontNameBytes = 128;

struct FontEntry {
    static constexpr std::int32_t kUnresolved = std::numeric_limits<std::int32_t>::min();
    std::string name;
    int codePage = 0;  // 0: the document's
    bool complete = false;
    std::int32_t documentFont = kUnresolved;  // the name's index in the document, once text uses it
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
        return builder_.finish(lastTextAlignment_);
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
        if (!(stack_.back().chars == state_.chars)) formatDirty_ = true;
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
            highSurrogate_ == 0 && !symbolText()) {
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
        // A double-byte character may be written as \'hh for the lead byte and a plain trail byte;
        // in a symbol font every byte is a glyph number.
        if (b >= 0x80 || (pendingLead_ && b >= 0x40) ||
            (b >= 0x20 && state_.destination == Destination::Text && symbolText())) {
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
        const rtf::Keyword* keyword = rtf::findKeyword(name);
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
        // LibreOffice writes the two halves of a pair with a \uc between them.
        if (keyword->kind != Kw::Unicode && keyword->kind != Kw::UnicodeSkip) settleSurrogate();
        if (readUnicodePair(keyword->kind)) return;
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
        readTextWord(*keyword, hasParameter, parameter);
    }

    // {\upr{ANSI text}{\*\ud{Unicode text}}}: the Unicode text is read and the ANSI text skipped,
    // in the document and in the font table alike.
    bool readUnicodePair(Kw kind) {
        if (kind == Kw::UnicodePair && state_.destination != Destination::Skip) {
            state_.unicodePairDestination = state_.destination;
            state_.destination = Destination::Skip;
            return true;
        }
        if (kind == Kw::UnicodeText && state_.unicodePairDestination != Destination::Skip) {
            state_.destination = state_.unicodePairDestination;
            return true;
        }
        return false;
    }

    void readTextWord(const rtf::Keyword& keyword, bool hasParameter, int parameter) {
        const bool on = !hasParameter || parameter != 0;
        CharState& chars = state_.chars;
        switch (keyword.kind) {
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
                formatDirty_ = true;
                break;
            case Kw::Font:
                setCharacterFormat(chars.font, parameter);
                break;
            case Kw::Bold:
                setCharacterFormat(chars.bold, on);
                break;
            case Kw::Italic:
                setCharacterFormat(chars.italic, on);
                break;
            case Kw::Underline:
                setCharacterFormat(chars.underline, on);
                break;
            case Kw::UnderlineNone:
                setCharacterFormat(chars.underline, false);
                break;
            case Kw::Strike:
                setCharacterFormat(chars.strike, on);
                break;
            case Kw::Hidden:
                state_.hidden = on;
                break;
            case Kw::FontSize:
                setCharacterFormat(chars.halfPoints, fontSize(hasParameter, parameter));
                break;
            case Kw::Color:
                setCharacterFormat(chars.color, std::max(parameter, 0));
                break;
            case Kw::Plain:
                chars = CharState{};
                state_.hidden = false;
                formatDirty_ = true;
                break;
            // An associated property goes to the characters of the current run type; with none,
            // it is the ordinary property.
            case Kw::AssocFont:
                if (Associated* a = chars.active()) {
                    setCharacterFormat(a->font, parameter);
                } else {
                    setCharacterFormat(chars.font, parameter);
                }
                break;
            case Kw::AssocFontSize:
                if (Associated* a = chars.active()) {
                    setCharacterFormat(a->halfPoints,
                                       static_cast<std::int16_t>(fontSize(hasParameter, parameter)));
                } else {
                    setCharacterFormat(chars.halfPoints, fontSize(hasParameter, parameter));
                }
                break;
            case Kw::AssocBold:
                if (Associated* a = chars.active()) {
                    setCharacterFormat(a->bold, static_cast<std::int8_t>(on));
                } else {
                    setCharacterFormat(chars.bold, on);
                }
                break;
            case Kw::AssocItalic:
                if (Associated* a = chars.active()) {
                    setCharacterFormat(a->italic, static_cast<std::int8_t>(on));
                } else {
                    setCharacterFormat(chars.italic, on);
                }
                break;
            case Kw::LowAnsi:
                setCharacterFormat(chars.type, CharType::Low);
                break;
            case Kw::HighAnsi:
                setCharacterFormat(chars.type, CharType::High);
                break;
            case Kw::DoubleByte:
                setCharacterFormat(chars.type, CharType::Double);
                break;
            case Kw::LeftToRight:
                setCharacterFormat(chars.rightToLeft, false);
                break;
            case Kw::RightToLeft:
                setCharacterFormat(chars.rightToLeft, true);
                break;
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
            case Kw::FootnoteMark:
                // The footnote's number, as a word processor shows it in the text; the footnote
                // itself is a skipped destination.
                appendToDocument(std::to_string(++footnotes_));
                break;
            case Kw::Character:
                appendToDocument(keyword.text);
                break;
            case Kw::Destination:
                state_.destination = Destination::Skip;
                break;
            case Kw::UnicodePair:
            case Kw::UnicodeText:
            case Kw::Binary:
            case Kw::FontCharset:
            case Kw::FontCodePage:
            case Kw::Red:
            case Kw::Green:
            case Kw::Blue:
                break;
        }
    }

    static int fontSize(bool hasParameter, int parameter) {
        return hasParameter ? std::clamp(parameter, 0, kMaxHalfPoints) : 24;
    }

    void readFontTableWord(Kw kind, bool hasParameter, int parameter) {
        switch (kind) {
            case Kw::Font:
                tableFont_ = hasParameter ? parameter : 0;
                fonts_[tableFont_] = FontEntry{};
                cachedFont_ = kNoFont;
                formatDirty_ = true;
                break;
            case Kw::FontCharset:
                if (FontEntry* entry = tableEntry()) entry->codePage = rtf::charsetCodePage(parameter);
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
            emitText(utf::kReplacementUtf8);
        } else if (utf::isHighSurrogate(static_cast<char32_t>(unit))) {
            settleSurrogate();
            highSurrogate_ = static_cast<std::uint32_t>(unit);
        } else if (utf::isLowSurrogate(static_cast<char32_t>(unit))) {
            if (highSurrogate_ == 0) {
                emitText(utf::kReplacementUtf8);
                return;
            }
            const std::uint32_t codePoint =
                utf::combineSurrogates(highSurrogate_, static_cast<std::uint32_t>(unit));
            highSurrogate_ = 0;
            std::string text;
            utf::appendUtf8(codePoint, text);
            emitText(text);
        } else if (!isControlCharacter(static_cast<Byte>(unit < 0x80 ? unit : 0x80))) {
            char32_t character = static_cast<char32_t>(unit);
            if (state_.destination == Destination::Text && symbolText())
                character = rtf::symbolCharacter(symbolFont(), character);
            std::string text;
            utf::appendUtf8(character, text);
            emitText(text);
        }
    }

    // A high surrogate still waiting when anything but its low half comes has nothing to pair with.
    void settleSurrogate() {
        if (highSurrogate_ == 0) return;
        highSurrogate_ = 0;
        emitText(utf::kReplacementUtf8);
    }

    void addByte(Byte b) {
        if (state_.destination != Destination::Text && state_.destination != Destination::FontTable) return;
        settleSurrogate();
        if (pendingBytes_.empty()) {
            pendingCodePage_ = textCodePage();
            pendingSymbolFont_ =
                pendingCodePage_ == rtf::kSymbolCodePage ? symbolFont() : rtf::SymbolFont::Other;
            pendingLead_ = false;
        }
        pendingBytes_.push_back(static_cast<char>(b));
        pendingLead_ = !pendingLead_ && rtf::isLeadByte(pendingCodePage_, b);
    }

    // Bytes in the code page are decoded together, so a two-byte character written as two \'hh
    // escapes comes out as one character.
    void flushBytes() {
        if (pendingBytes_.empty()) return;
        decoded_.clear();
        if (pendingCodePage_ == rtf::kSymbolCodePage) {
            for (const char b : pendingBytes_) {
                utf::appendUtf8(rtf::symbolCharacter(pendingSymbolFont_, static_cast<Byte>(b)), decoded_);
            }
        } else {
            decoder_.append(pendingCodePage_, pendingBytes_, decoded_);
        }
        pendingBytes_.clear();
        pendingLead_ = false;
        std::erase_if(decoded_, [](char c) { return isControlCharacter(static_cast<Byte>(c)); });
        emitText(decoded_);
    }

    // The font that text is now in: the associated one of its run type where given.
    int textFont() {
        const int font = state_.chars.textFont();
        return font == kNoFont ? defaultFont_ : font;
    }

    int textCodePage() {
        const FontEntry* entry =
            findFont(state_.destination == Destination::FontTable ? tableFont_ : textFont());
        return entry != nullptr && entry->codePage != 0 ? entry->codePage : codePage_;
    }

    bool symbolText() {
        const FontEntry* entry = findFont(textFont());
        return entry != nullptr && entry->codePage == rtf::kSymbolCodePage;
    }

    rtf::SymbolFont symbolFont() {
        const FontEntry* entry = findFont(textFont());
        return entry != nullptr ? rtf::symbolFontNamed(trimmed(entry->name)) : rtf::SymbolFont::Other;
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
                if (FontEntry* entry = tableEntry(); entry != nullptr && !entry->complete) {
                    if (entry->name.size() < kMaxFontNameBytes)
                        entry->name.append(utf::utf8Prefix(text, kMaxFontNameBytes - entry->name.size()));
                }
                break;
            case Destination::ColorTable:
            case Destination::Skip:
                break;
        }
    }

    void appendToDocument(std::string_view text) {
        if (state_.hidden || text.empty()) return;
        if (formatDirty_) {
            builder_.setFormat(resolvedFormat());
            formatDirty_ = false;
        }
        if (cellEnded_) {
            builder_.append("\t");
            cellEnded_ = false;
        }
        builder_.append(text);
        lastTextAlignment_ = state_.alignment;
    }

    CharFormat resolvedFormat() {
        CharState& chars = state_.chars;
        CharFormat format;
        if (FontEntry* entry = findFont(textFont())) {
            if (entry->documentFont == FontEntry::kUnresolved)
                entry->documentFont = builder_.font(trimmed(entry->name));
            format.font = entry->documentFont;
        }
        format.fontSize = static_cast<float>(chars.textHalfPoints()) / 2;
        format.bold = chars.textBold();
        format.italic = chars.textItalic();
        format.underline = chars.underline;
        format.strike = chars.strike;
        // Entry 0 is the automatic colour by convention, whatever the table says.
        if (chars.color > 0 && static_cast<std::size_t>(chars.color) < colors_.size()) {
            format.color = colors_[static_cast<std::size_t>(chars.color)];
        }
        return format;
    }

    void endParagraph() {
        builder_.endParagraph(state_.alignment);
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
    rtf::SymbolFont pendingSymbolFont_ = rtf::SymbolFont::Other;
    bool pendingLead_ = false;
    std::string decoded_;
    std::uint32_t highSurrogate_ = 0;

    rtf::DocumentBuilder builder_;
    bool formatDirty_ = true;
    bool cellEnded_ = false;
    int footnotes_ = 0;
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
