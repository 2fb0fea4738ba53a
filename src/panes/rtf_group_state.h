#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "platform/rich_document.h"

// What the rich-text parser keeps for each group: saved when a group opens, restored when it ends.
namespace corvane::rtf {

inline constexpr int kNoFont = std::numeric_limits<int>::min();

enum class Destination : std::uint8_t { Text, FontTable, ColorTable, Skip };

// Which characters the associated properties (\af, \afs, \ab, \ai) describe. In the syntax of
// runs that RTF 1.9.1 publishes, "\hich <aprops>* \dbch <aprops>* \loch <ptext>", properties
// after \hich or \dbch are those of high-ANSI or double-byte characters, and the text after the
// last run-type word is of that type: so text after \dbch takes the associated properties given
// after \dbch over the ordinary ones, and \b, \f, \fs apply to text of every type. \rtlch and
// \ltrch work the same way for right-to-left text. Given with no run type at all they act as
// the ordinary properties, as LibreOffice reads them.
enum class CharType : std::uint8_t { Low, High, Double, RightToLeft, Unmarked };

// One associated property set; a value not given lets the ordinary property through.
struct Associated {
    static constexpr std::int32_t kNotGiven = std::numeric_limits<std::int32_t>::min();
    std::int32_t font = kNotGiven;
    std::int16_t halfPoints = -1;
    std::int8_t bold = -1;
    std::int8_t italic = -1;

    bool operator==(const Associated&) const = default;
};

// Everything that decides the format of text, saved and restored with the group.
struct CharState {
    int font = kNoFont;  // kNoFont: the document's default font
    int halfPoints = 0;  // 0: no size given
    int color = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    CharType type = CharType::Unmarked;
    bool rightToLeft = false;
    std::array<Associated, 4> associated{};

    bool operator==(const CharState&) const = default;

    // The associated set that applies to text now, and to associated properties given now.
    Associated* active() {
        if (rightToLeft) return &associated[static_cast<std::size_t>(CharType::RightToLeft)];
        return type == CharType::Unmarked ? nullptr : &associated[static_cast<std::size_t>(type)];
    }

    int textFont() {
        const Associated* a = active();
        return a != nullptr && a->font != Associated::kNotGiven ? a->font : font;
    }
    int textHalfPoints() {
        const Associated* a = active();
        return a != nullptr && a->halfPoints >= 0 ? a->halfPoints : halfPoints;
    }
    bool textBold() {
        const Associated* a = active();
        return a != nullptr && a->bold >= 0 ? a->bold != 0 : bold;
    }
    bool textItalic() {
        const Associated* a = active();
        return a != nullptr && a->italic >= 0 ? a->italic != 0 : italic;
    }
};

// What a group saves and restores.
struct GroupState {
    CharState chars;
    int unicodeSkip = 1;
    bool hidden = false;
    Alignment alignment = Alignment::Left;
    Destination destination = Destination::Text;
    // Inside \upr: where the text of its \ud group goes. Skip: not inside one.
    Destination unicodePairDestination = Destination::Skip;
};

}  // namespace corvane::rtf
