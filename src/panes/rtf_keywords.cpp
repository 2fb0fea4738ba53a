#include "panes/rtf_keywords.h"

#include <array>
#include <cstddef>

namespace corvane::rtf {

namespace {

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
        Keyword{"upr", Kw::UnicodePair},
        Keyword{"ud", Kw::UnicodeText},
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
        Keyword{"ab", Kw::AssocBold},
        Keyword{"ai", Kw::AssocItalic},
        Keyword{"af", Kw::AssocFont},
        Keyword{"afs", Kw::AssocFontSize},
        Keyword{"loch", Kw::LowAnsi},
        Keyword{"hich", Kw::HighAnsi},
        Keyword{"dbch", Kw::DoubleByte},
        Keyword{"ltrch", Kw::LeftToRight},
        Keyword{"rtlch", Kw::RightToLeft},
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
        Keyword{"chftn", Kw::FootnoteMark},
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
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
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

}  // namespace

const Keyword* findKeyword(std::string_view name) {
    if (name.size() > kLongestKeyword) return nullptr;
    for (std::size_t slot = keywordHash(name) % kKeywordSlotCount; kKeywordSlots[slot] >= 0;
         slot = (slot + 1) % kKeywordSlotCount) {
        const Keyword& keyword = kKeywords[static_cast<std::size_t>(kKeywordSlots[slot])];
        if (keyword.name == name) return &keyword;
    }
    return nullptr;
}

}  // namespace corvane::rtf
