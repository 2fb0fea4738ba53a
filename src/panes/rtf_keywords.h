#pragma once

#include <cstdint>
#include <string_view>

// The control words the rich-text reader acts on, and what each does.
namespace corvane::rtf {

enum class Kw : std::uint8_t {
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCodePage,
    DefaultFont,
    UnicodeSkip,
    Unicode,
    UnicodePair,  // \upr: an ANSI group, then a \ud group with the same text in Unicode
    UnicodeText,  // \ud
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
    // The associated character properties that RTF 1.9.1 defines: they give the
    // formatting of one kind of character, named by the run-type words below.
    AssocBold,
    AssocItalic,
    AssocFont,
    AssocFontSize,
    LowAnsi,      // \loch
    HighAnsi,     // \hich
    DoubleByte,   // \dbch
    LeftToRight,  // \ltrch
    RightToLeft,  // \rtlch
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
    FootnoteMark,
    Character,    // stands for the fixed text in its table entry
    Destination,  // a destination the panes have no use for: its whole group is skipped
};

struct Keyword {
    std::string_view name;
    Kw kind;
    std::string_view text = {};
};

// The entry of a control word, or null for one the reader does not know.
const Keyword* findKeyword(std::string_view name);

}  // namespace corvane::rtf
